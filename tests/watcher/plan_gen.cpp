// What the plans draw from, and why: airliners taxi at 3 to 30 kt round corners of up to a
// U-turn, on arcs no tighter than their nose-wheel steering allows; push-backs go 20 to 120 m at
// 2 to 4 kt, straight or swinging their tail by up to 180 degrees; in the air they turn at up to
// 3 degrees a second; real feeds report every 0.3 to 8 s, fall behind the traffic around a
// flight by up to a minute, skip reports, and now and then send a place or a speed that is
// wrong. Every draw shrinks toward the plain case: Düsseldorf, no gap, no glitch, a main loop on
// time.
#include "watcher/plan_gen.h"

#include <cmath>
#include <ostream>

namespace qel::watch {

namespace {

// A number from lo to hi in steps; it shrinks toward lo.
double lf_in(double lo, double hi, double step)
{
    const int n = static_cast<int>(std::lround((hi - lo) / step));
    return lo + step * *rc::gen::inRange(0, n + 1);
}

double lf_signed(double lo, double hi, double step)
{
    const double x = lf_in(lo, hi, step);
    return *rc::gen::arbitrary<bool>() ? -x : x;
}

// True percent of the time; it shrinks toward false.
bool lf_chance(int percent) { return *rc::gen::inRange(0, 100) >= 100 - percent; }

enum class Place { home, anywhere, antimeridian, pole };

void lf_place(Plan& p, bool ground)
{
    const Place place = *rc::gen::weightedElement<Place>(
        {{40, Place::home}, {30, Place::anywhere}, {15, Place::antimeridian}, {15, Place::pole}});
    p.course_deg = lf_in(0.0, 359.0, 1.0);
    p.field_ft = lf_in(0.0, 5000.0, 50.0);
    switch (place) {
    case Place::home: p.field_ft = 147.0; break;
    case Place::anywhere:
        p.lat = lf_signed(0.0, 70.0, 0.001);
        p.lon = lf_signed(0.0, 179.0, 0.001);
        break;
    case Place::antimeridian:
        // Close enough to 180 degrees that the flight crosses it, going east or west.
        p.lat = lf_signed(0.0, 65.0, 0.001);
        p.lon = lf_signed(179.9, 180.0, ground ? 0.0001 : 0.001);
        if (p.lon == -180.0) p.lon = 180.0;
        p.course_deg = lf_in(45.0, 135.0, 1.0) + (p.lon > 0.0 ? 0.0 : 180.0);
        if (ground)
            p.lon = p.lon > 0.0 ? 180.0 - lf_in(0.0002, 0.002, 0.0001)
                                : -180.0 + lf_in(0.0002, 0.002, 0.0001);
        break;
    case Place::pole: p.lat = lf_signed(89.0, 89.9, 0.01); break;
    }
}

TaxiLeg lf_taxiLeg(double halfSpan)
{
    TaxiLeg leg;
    const int turn = *rc::gen::weightedElement<int>({{30, 0}, {20, 1}, {30, 2}, {20, 3}});
    switch (turn) {
    case 0: leg.turn_deg = 0.0; break;
    case 1: leg.turn_deg = lf_signed(5.0, 45.0, 1.0); break;
    case 2: leg.turn_deg = lf_signed(45.0, 120.0, 1.0); break;
    default: leg.turn_deg = lf_signed(120.0, 180.0, 1.0); break;
    }
    leg.radius_m =
        std::abs(leg.turn_deg) > 45.0 ? lf_in(halfSpan, 60.0, 1.0) : lf_in(30.0, 150.0, 5.0);
    leg.length_m = lf_chance(30) ? lf_in(10.0, 60.0, 1.0) : lf_in(60.0, 400.0, 5.0);
    leg.speed_kt = lf_in(3.0, 30.0, 0.5);
    if (lf_chance(20)) {
        leg.stop_s = lf_chance(50) ? lf_in(2.0, 10.0, 0.5) : lf_in(10.0, 90.0, 1.0);
        leg.stopOnTurn = leg.turn_deg != 0.0 && lf_chance(25);
    }
    return leg;
}

// Legs of a taxi, with now and then an S-bend or a U-turn of two corners close together.
void lf_taxi(Plan& p, int fewest, int most)
{
    const double halfSpan = halfSpan_m(p.type);
    const int n = *rc::gen::inRange(fewest, most + 1);
    for (int i = 0; i < n; ++i) {
        TaxiLeg leg = lf_taxiLeg(halfSpan);
        if (lf_chance(15)) {
            // Two corners 10 to 60 m apart: the same way round (a U-turn), or back (an S-bend).
            const bool uTurn = *rc::gen::arbitrary<bool>();
            TaxiLeg first = leg;
            first.turn_deg = uTurn ? 90.0 : lf_in(20.0, 90.0, 1.0);
            if (*rc::gen::arbitrary<bool>()) first.turn_deg = -first.turn_deg;
            first.radius_m = lf_in(halfSpan, 40.0, 1.0);
            first.length_m = lf_in(10.0, 60.0, 1.0);
            first.stop_s = 0.0;
            p.taxi.push_back(first);
            leg.turn_deg = uTurn ? first.turn_deg : -first.turn_deg;
            leg.radius_m = first.radius_m;
        }
        p.taxi.push_back(leg);
    }
}

AirLeg lf_airLeg(bool rotor)
{
    AirLeg leg;
    leg.seconds = lf_in(10.0, 90.0, 1.0);
    leg.turn_dps = lf_chance(50) ? lf_signed(0.0, 3.0, 0.1) : 0.0;
    leg.vs_fpm = lf_chance(50) ? lf_signed(0.0, rotor ? 1000.0 : 3000.0, 50.0) : 0.0;
    leg.speedChange_kt = lf_chance(40) ? lf_signed(0.0, rotor ? 30.0 : 40.0, 1.0) : 0.0;
    return leg;
}

void lf_feed(Plan& p)
{
    switch (*rc::gen::weightedElement<int>({{40, 0}, {25, 1}, {20, 2}, {15, 3}})) {
    case 0: p.interval_s = lf_in(3.0, 6.0, 0.1); break;
    case 1: p.interval_s = lf_in(1.0, 3.0, 0.1); break;
    case 2: p.interval_s = lf_in(6.0, 8.0, 0.1); break;
    default: p.interval_s = lf_in(0.3, 1.0, 0.1); break;
    }
    p.jitter = lf_chance(50) ? lf_in(0.0, 0.5, 0.05) : 0.0;
    if (lf_chance(30)) p.delay0_s = lf_in(0.0, 10.0, 0.5);
    if (lf_chance(30)) {
        p.delayChange_s = lf_signed(5.0, 60.0, 1.0);
        p.delayFrom_s = lf_in(10.0, 200.0, 1.0);
        // Falling behind by 0.8 s a second at most, and catching up by half a second a second,
        // as a feed's backlog drains: its reports still come in in their order, and a flight's
        // schedule runs no faster than it can keep up with at its catch-up speed.
        const double rate = p.delayChange_s > 0.0 ? 0.8 : 0.5;
        p.delayOver_s = std::max(std::abs(p.delayChange_s) / rate, lf_in(10.0, 120.0, 1.0));
        if (p.delayChange_s < 0.0) p.delay0_s = std::max(p.delay0_s, -p.delayChange_s);
    }
    if (lf_chance(10)) {
        p.aroundBy_s = lf_signed(5.0, 60.0, 0.1);
        p.aroundFrom_s = lf_in(20.0, 200.0, 1.0);
    }
    if (lf_chance(25)) {
        const int n = *rc::gen::inRange(1, 3);
        for (int i = 0; i < n; ++i) {
            p.gaps.push_back({lf_in(20.0, 200.0, 1.0), lf_in(5.0, 60.0, 1.0)});
        }
    }
    if (lf_chance(20)) {
        Glitch g;
        g.kind =
            *rc::gen::element(GlitchKind::jump, GlitchKind::outOfOrder, GlitchKind::sameTime,
                              GlitchKind::noSpeed, GlitchKind::signedSpeed, GlitchKind::relocate);
        g.at_s = lf_in(20.0, 200.0, 1.0);
        const bool far = g.kind == GlitchKind::jump || g.kind == GlitchKind::relocate;
        g.size_m = far ? lf_in(50.0, 10000.0, 10.0) : lf_in(2.0, 30.0, 1.0);
        p.glitches.push_back(g);
    }
    if (lf_chance(20)) {
        p.stallEvery_s = lf_in(1.0, 20.0, 0.5);
        p.stall_ms = lf_in(50.0, 300.0, 10.0);
    }
    if (lf_chance(15)) {
        p.stretchFrom_s = lf_in(0.0, 200.0, 1.0);
        p.stretchFor_s = lf_in(10.0, 60.0, 1.0);
    }
}

Type lf_fixedWing()
{
    return *rc::gen::weightedElement<Type>({{45, Type::a320}, {35, Type::b738}, {20, Type::c172}});
}

double lf_approachSpeed(Type t)
{
    return t == Type::c172 ? lf_in(60.0, 80.0, 1.0) : lf_in(120.0, 150.0, 1.0);
}

Plan lf_draw()
{
    Plan p;
    p.kind = *rc::gen::weightedElement<Kind>({{20, Kind::push},
                                              {20, Kind::taxi},
                                              {5, Kind::pullOut},
                                              {10, Kind::arrival},
                                              {10, Kind::departure},
                                              {15, Kind::air},
                                              {5, Kind::touchAndGo},
                                              {10, Kind::hover}});
    const bool ground = p.kind == Kind::push || p.kind == Kind::pullOut || p.kind == Kind::taxi;
    p.type = p.kind == Kind::hover ? Type::r44 : lf_fixedWing();
    if (p.kind == Kind::air && lf_chance(15)) p.type = Type::r44;
    lf_place(p, ground);
    switch (p.kind) {
    case Kind::push:
        p.parked_s = lf_in(20.0, 90.0, 1.0);
        p.push_m = lf_in(20.0, 120.0, 1.0);
        if (lf_chance(60)) p.pushTurn_deg = lf_signed(30.0, 180.0, 1.0);
        if (p.pushTurn_deg != 0.0) p.pushSide_m = lf_in(0.0, 60.0, 1.0);
        p.push_kt = lf_in(2.0, 4.0, 0.1);
        p.pause_s = lf_chance(50) ? lf_in(0.0, 60.0, 1.0) : lf_in(60.0, 300.0, 5.0);
        lf_taxi(p, 1, 4);
        break;
    case Kind::pullOut:
        p.parked_s = lf_in(20.0, 90.0, 1.0);
        p.taxi.push_back({0.0, 30.0, lf_in(30.0, 80.0, 1.0), lf_in(3.0, 10.0, 0.5), 0.0, false});
        lf_taxi(p, 1, 3);
        break;
    case Kind::taxi: lf_taxi(p, 1, 5); break;
    case Kind::arrival: {
        p.alt_ft = lf_in(600.0, 2000.0, 50.0);
        p.speed_kt = lf_approachSpeed(p.type);
        p.roll_ktps = lf_in(2.0, 4.5, 0.1);
        TaxiLeg exit;
        exit.turn_deg = lf_signed(30.0, 90.0, 1.0);
        exit.radius_m =
            std::abs(exit.turn_deg) > 60.0 ? lf_in(25.0, 60.0, 1.0) : lf_in(40.0, 150.0, 5.0);
        exit.speed_kt =
            std::abs(exit.turn_deg) > 60.0 ? lf_in(10.0, 20.0, 0.5) : lf_in(15.0, 40.0, 0.5);
        exit.length_m = lf_in(50.0, 300.0, 5.0);
        p.taxi.push_back(exit);
        lf_taxi(p, 0, 3);
        break;
    }
    case Kind::departure: {
        lf_taxi(p, 1, 3);
        TaxiLeg lineUp;
        lineUp.turn_deg = lf_signed(60.0, 120.0, 1.0);
        lineUp.radius_m = lf_in(halfSpan_m(p.type), 50.0, 1.0);
        lineUp.length_m = lf_in(20.0, 100.0, 5.0);
        lineUp.speed_kt = lf_in(5.0, 15.0, 0.5);
        lineUp.stop_s = lf_chance(70) ? lf_in(1.0, 60.0, 1.0) : 0.0;
        p.taxi.push_back(lineUp);
        p.roll_ktps = lf_in(2.0, 4.0, 0.1);
        const int n = *rc::gen::inRange(1, 3);
        for (int i = 0; i < n; ++i) {
            AirLeg climb = lf_airLeg(false);
            climb.vs_fpm = lf_in(800.0, 3000.0, 50.0);
            climb.speedChange_kt = lf_in(0.0, 40.0, 1.0);
            p.air.push_back(climb);
        }
        break;
    }
    case Kind::air: {
        const bool rotor = p.type == Type::r44;
        p.alt_ft = lf_in(1500.0, rotor ? 5000.0 : 38000.0, 100.0);
        p.speed_kt =
            rotor ? lf_in(60.0, 110.0, 1.0)
                  : (p.type == Type::c172 ? lf_in(80.0, 140.0, 1.0) : lf_in(150.0, 480.0, 1.0));
        const int n = *rc::gen::inRange(1, 6);
        for (int i = 0; i < n; ++i) p.air.push_back(lf_airLeg(rotor));
        break;
    }
    case Kind::touchAndGo: {
        p.alt_ft = lf_in(500.0, 1500.0, 50.0);
        p.speed_kt = lf_approachSpeed(p.type);
        p.roll_ktps = lf_in(2.0, 4.0, 0.1);
        p.rolls_s = lf_in(3.0, 15.0, 0.5);
        AirLeg climb = lf_airLeg(false);
        climb.vs_fpm = lf_in(800.0, 2000.0, 50.0);
        climb.speedChange_kt = lf_in(0.0, 30.0, 1.0);
        p.air.push_back(climb);
        break;
    }
    case Kind::hover: {
        p.alt_ft = lf_in(300.0, 3000.0, 50.0);
        p.speed_kt = lf_in(40.0, 100.0, 1.0);
        p.air.push_back(lf_airLeg(true));
        // Slowing into a hover, hovering, and on again; or slow flight.
        AirLeg into = lf_airLeg(true);
        into.speedChange_kt = -200.0;
        into.hover_s = lf_in(10.0, 120.0, 1.0);
        p.air.push_back(into);
        AirLeg on = lf_airLeg(true);
        on.speedChange_kt = lf_chance(30) ? lf_in(20.0, 40.0, 1.0) : lf_in(40.0, 90.0, 1.0);
        p.air.push_back(on);
        break;
    }
    }
    lf_feed(p);
    return p;
}

}  // namespace

rc::Gen<Plan> genPlan() { return rc::gen::exec(&lf_draw); }

void showValue(const Plan& plan, std::ostream& os) { os << planText(plan); }

}  // namespace qel::watch
