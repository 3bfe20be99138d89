// The truth and the feed of a stream. The truth is laid along the plan's legs as a path of small
// steps on the sphere (each on the great circle the last one ended on, turned by the leg's
// curvature), and its speed along the path is planned as a driver does: no faster than a leg,
// a bend or a stop ahead allows, braking and gathering speed at an aircraft's usual rates.
#include "watcher/streams.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <numbers>
#include <random>
#include <sstream>

#include <fmt/format.h>

namespace qel::watch {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kRadPerDeg = kPi / 180.0;
constexpr double kMps = 0.514444;  // per knot
constexpr double kFtPerM = 1.0 / 0.3048;
constexpr double kG = 9.80665;
// What a taxiing airliner does: it gathers speed at 1.5 kt/s, brakes at 2.5 kt/s, and rounds a
// bend at no more than 0.2 g sideways.
constexpr double kTaxiAccel_ktps = 1.5;
constexpr double kTaxiBrake_ktps = 2.5;
constexpr double kTaxiSideways_g = 0.2;
constexpr double kAirAccel_ktps = 1.5;
constexpr double kRotorAccel_ktps = 3.0;
// A path step: short on the ground, where bends are tight.
constexpr double kGroundStep_m = 0.5;
constexpr double kAirStep_m = 5.0;
// Away from an airport a flight keeps this high above its field (ft).
constexpr double kAirFloor_ft = 1000.0;
constexpr double kRotorFloor_ft = 200.0;
// The approach comes down at 3 degrees.
constexpr double kGlide_rad = 3.0 * kRadPerDeg;
constexpr double kTruthStep_s = 0.1;

struct Piece {
    double length_m = 0.0;
    double curvature = 0.0;  // rad per metre of the way, clockwise positive
    bool reverse = false;    // tail first
    bool air = false;
    double vmax_kt = 0.0;
    std::optional<double> vEnd_kt;  // the speed it ends at, approached along it (a roll)
    double climb_ftPerM = 0.0;
    std::optional<double> stop_s;  // a stop at its end
    bool stopHalfway = false;      // the stop lies halfway along it
    double accel_ktps = kTaxiAccel_ktps;
    double brake_ktps = kTaxiBrake_ktps;
    // A climb or descent in the air levels off at this height above the field (ft).
    double floor_ft = -HUGE_VAL;
};

struct Step {
    double s_m = 0.0;
    LatLon at;
    double bearing_rad = 0.0;  // of travel
    double alt_ft = 0.0;       // above the field
    bool air = false;
    bool reverse = false;
    double cap_kt = 0.0;
    double accel_ktps = 0.0;
    double brake_ktps = 0.0;
    double stop_s = -1.0;  // a stop here, this long
};

bool lf_rotorType(Type t) { return t == Type::r44; }

double lf_rotationSpeed_kt(Type t)
{
    switch (t) {
    case Type::c172: return 60.0;
    case Type::r44: return 40.0;
    default: return 145.0;
    }
}

// The pieces of the taxi legs, going on from `bearing`.
void lf_taxiPieces(const Plan& plan, std::vector<Piece>& out)
{
    const double tightest = halfSpan_m(plan.type);
    for (const TaxiLeg& leg : plan.taxi) {
        const double v = std::max(leg.speed_kt, 1.0);
        if (std::abs(leg.turn_deg) > 0.5) {
            const double r = std::max(leg.radius_m, tightest);
            const double arc = std::abs(leg.turn_deg) * kRadPerDeg * r;
            Piece p;
            p.length_m = arc;
            p.curvature = (leg.turn_deg > 0 ? 1.0 : -1.0) / r;
            p.vmax_kt = std::min(v, std::sqrt(kTaxiSideways_g * kG * r) / kMps);
            if (leg.stop_s > 0.0 && leg.stopOnTurn) {
                p.stop_s = leg.stop_s;
                p.stopHalfway = true;
            }
            out.push_back(p);
        }
        Piece p;
        p.length_m = std::max(leg.length_m, 1.0);
        p.vmax_kt = v;
        if (leg.stop_s > 0.0 && !leg.stopOnTurn) p.stop_s = leg.stop_s;
        out.push_back(p);
    }
}

// The pieces of air legs from `v` knots.
void lf_airPieces(const Plan& plan, double v, std::vector<Piece>& out)
{
    const double accel = lf_rotorType(plan.type) ? kRotorAccel_ktps : kAirAccel_ktps;
    for (const AirLeg& leg : plan.air) {
        const double v1 = std::max(v + leg.speedChange_kt, lf_rotorType(plan.type) ? 5.0 : 60.0);
        const double mean_mps = (v + v1) / 2.0 * kMps;
        Piece p;
        p.air = true;
        p.length_m = std::max(leg.seconds * mean_mps, 10.0);
        p.curvature = leg.turn_dps * kRadPerDeg / std::max(mean_mps, 1.0);
        p.vmax_kt = std::max(v, v1);
        p.vEnd_kt = v1;
        p.climb_ftPerM = leg.vs_fpm / 60.0 / std::max(mean_mps, 1.0);
        p.accel_ktps = p.brake_ktps = accel;
        p.floor_ft = lf_rotorType(plan.type) ? kRotorFloor_ft : kAirFloor_ft;
        if (leg.hover_s > 0.0) {
            p.stop_s = leg.hover_s;
            p.vEnd_kt = 0.0;
        }
        out.push_back(p);
        // Out of a hover it gathers speed from a standstill.
        v = leg.hover_s > 0.0 ? 0.0 : v1;
    }
}

// The final approach: down at 3 degrees at the approach speed from alt_ft above the field.
Piece lf_approach(const Plan& plan)
{
    Piece p;
    p.air = true;
    p.length_m = std::max(plan.alt_ft, 50.0) / kFtPerM / std::tan(kGlide_rad);
    p.vmax_kt = plan.speed_kt;
    p.climb_ftPerM = -std::tan(kGlide_rad) * kFtPerM;
    p.accel_ktps = p.brake_ktps = kAirAccel_ktps;
    return p;
}

// A roll on the runway from v0 to v1 at the plan's rate, as long as that takes (and `extra_m`).
Piece lf_roll(const Plan& plan, double v0, double v1, double extra_m)
{
    Piece p;
    const double a = std::max(plan.roll_ktps, 0.5) * kMps;
    p.length_m = std::abs(v0 * v0 - v1 * v1) * kMps * kMps / (2.0 * a) + extra_m;
    p.vmax_kt = std::max(v0, v1);
    p.vEnd_kt = v1;
    p.accel_ktps = p.brake_ktps = std::max(plan.roll_ktps, 0.5);
    return p;
}

std::vector<Piece> lf_pieces(const Plan& plan, double& v0_kt, double& stand_s, bool& startReverse)
{
    std::vector<Piece> out;
    v0_kt = 0.0;
    stand_s = 0.0;
    startReverse = false;
    const double vr = lf_rotationSpeed_kt(plan.type);
    switch (plan.kind) {
    case Kind::push: {
        stand_s = plan.parked_s;
        startReverse = true;
        Piece back;
        back.reverse = true;
        back.length_m = std::max(plan.push_m, 5.0);
        back.vmax_kt = plan.push_kt;
        back.accel_ktps = back.brake_ktps = 0.5;
        out.push_back(back);
        if (std::abs(plan.pushTurn_deg) > 0.5) {
            const double r = std::max(halfSpan_m(plan.type), 5.0);
            Piece swing = back;
            swing.length_m = std::abs(plan.pushTurn_deg) * kRadPerDeg * r;
            swing.curvature = (plan.pushTurn_deg > 0 ? 1.0 : -1.0) / r;
            out.push_back(swing);
            if (plan.pushSide_m > 0.5) {
                Piece side = back;
                side.length_m = plan.pushSide_m;
                out.push_back(side);
            }
        }
        out.back().stop_s = std::max(plan.pause_s, 1.0);
        lf_taxiPieces(plan, out);
        break;
    }
    case Kind::pullOut:
        stand_s = plan.parked_s;
        lf_taxiPieces(plan, out);
        break;
    case Kind::taxi:
        v0_kt = plan.taxi.empty() ? 0.0 : plan.taxi.front().speed_kt;
        lf_taxiPieces(plan, out);
        break;
    case Kind::arrival: {
        v0_kt = plan.speed_kt;
        out.push_back(lf_approach(plan));
        const double exit = plan.taxi.empty() ? 20.0 : plan.taxi.front().speed_kt;
        out.push_back(lf_roll(plan, plan.speed_kt, exit, 150.0));
        lf_taxiPieces(plan, out);
        break;
    }
    case Kind::departure: {
        v0_kt = plan.taxi.empty() ? 0.0 : plan.taxi.front().speed_kt;
        lf_taxiPieces(plan, out);
        if (!out.empty() && !out.back().stop_s) out.back().stop_s = 1.0;
        out.push_back(lf_roll(plan, 0.0, vr, 0.0));
        lf_airPieces(plan, vr, out);
        break;
    }
    case Kind::air:
    case Kind::hover:
        v0_kt = plan.speed_kt;
        lf_airPieces(plan, plan.speed_kt, out);
        break;
    case Kind::touchAndGo: {
        v0_kt = plan.speed_kt;
        out.push_back(lf_approach(plan));
        const double slowed = std::max(plan.speed_kt - 15.0, 30.0);
        Piece roll = lf_roll(plan, plan.speed_kt, slowed, 0.0);
        roll.length_m = std::max(roll.length_m, plan.rolls_s * (plan.speed_kt + slowed) / 2 * kMps);
        out.push_back(roll);
        out.push_back(lf_roll(plan, slowed, std::max(vr, slowed + 10.0), 0.0));
        lf_airPieces(plan, std::max(vr, slowed + 10.0), out);
        break;
    }
    }
    return out;
}

// The path in small steps, with the fastest allowed at each.
std::vector<Step> lf_layPath(const Plan& plan, const std::vector<Piece>& pieces, bool startReverse)
{
    std::vector<Step> steps;
    LatLon at{plan.lat, plan.lon};
    // The course is where the nose points: a push-back goes the other way.
    double bearing = plan.course_deg * kRadPerDeg + (startReverse ? kPi : 0.0);
    double s = 0.0;
    double alt = (plan.kind == Kind::air || plan.kind == Kind::hover ||
                  plan.kind == Kind::arrival || plan.kind == Kind::touchAndGo)
                     ? plan.alt_ft
                     : 0.0;
    bool reverse = startReverse;
    // A piece's end speed holds where the next begins.
    std::optional<double> endCap;
    for (std::size_t k = 0; k < pieces.size(); ++k) {
        const Piece& p = pieces[k];
        if (p.reverse != reverse) {
            // The aircraft stops and sets off the other way: the nose stays where it points.
            bearing += kPi;
            reverse = p.reverse;
        }
        const double ds = p.air ? kAirStep_m : kGroundStep_m;
        const int n = std::max(1, static_cast<int>(std::ceil(p.length_m / ds)));
        const double step = p.length_m / n;
        const double bendCap = p.air || p.curvature == 0.0
                                   ? HUGE_VAL
                                   : std::sqrt(kTaxiSideways_g * kG / std::abs(p.curvature)) / kMps;
        for (int i = 0; i < n; ++i) {
            Step st;
            st.s_m = s;
            st.at = at;
            st.bearing_rad = bearing;
            st.alt_ft = p.air ? std::max(alt, 0.0) : 0.0;
            st.air = p.air && alt > 0.0;
            st.reverse = p.reverse;
            st.cap_kt = std::min(p.vmax_kt, bendCap);
            st.accel_ktps = p.accel_ktps;
            st.brake_ktps = p.brake_ktps;
            if (p.stop_s && p.stopHalfway && i == n / 2) st.stop_s = *p.stop_s;
            if (endCap && i == 0) st.cap_kt = std::min(st.cap_kt, *endCap);
            steps.push_back(st);
            const double turn = p.curvature * step;
            const LatLon next = gf_destinationPoint(at, bearing + turn / 2.0, step * kFtPerM);
            // On along the great circle the step ended on, turned by the rest of the bend.
            bearing = gf_bearingRad(next, at) + kPi + turn / 2.0;
            at = next;
            s += step;
            alt += p.climb_ftPerM * step;
            if (p.climb_ftPerM < 0.0 && alt < p.floor_ft)
                alt = std::min(p.floor_ft, alt - p.climb_ftPerM * step);
        }
        endCap = p.vEnd_kt;
        if (p.stop_s && !p.stopHalfway) {
            endCap.reset();
            Step st = steps.back();
            st.s_m = s;
            st.at = at;
            st.bearing_rad = bearing;
            st.stop_s = *p.stop_s;
            st.cap_kt = 0.0;
            steps.push_back(st);
        }
    }
    Step last;
    last.s_m = s;
    last.at = at;
    last.bearing_rad = bearing;
    last.alt_ft = steps.empty() ? 0.0 : steps.back().alt_ft;
    last.air = !steps.empty() && steps.back().air;
    last.reverse = reverse;
    last.cap_kt = steps.empty() ? 0.0 : steps.back().cap_kt;
    if (endCap) last.cap_kt = std::min(last.cap_kt, *endCap);
    // A flight on the ground ends standing.
    if (!last.air) {
        last.cap_kt = 0.0;
        last.stop_s = 30.0;
    }
    steps.push_back(last);
    for (Step& st : steps) {
        if (st.stop_s >= 0.0) st.cap_kt = 0.0;
    }
    return steps;
}

// The speed at each step: no faster than its cap, than braking allows for the caps ahead, nor
// than gathering speed from the steps before allows.
void lf_planSpeed(std::vector<Step>& steps, double v0_kt)
{
    std::vector<double> v(steps.size());
    for (std::size_t i = 0; i < steps.size(); ++i) v[i] = steps[i].cap_kt * kMps;
    for (std::size_t i = steps.size() - 1; i-- > 0;) {
        const double ds = steps[i + 1].s_m - steps[i].s_m;
        const double a = steps[i].brake_ktps * kMps;
        v[i] = std::min(v[i], std::sqrt(v[i + 1] * v[i + 1] + 2.0 * a * ds));
    }
    v[0] = std::min(v[0], v0_kt * kMps);
    for (std::size_t i = 1; i < steps.size(); ++i) {
        const double ds = steps[i].s_m - steps[i - 1].s_m;
        const double a = steps[i - 1].accel_ktps * kMps;
        v[i] = std::min(v[i], std::sqrt(v[i - 1] * v[i - 1] + 2.0 * a * ds));
    }
    for (std::size_t i = 0; i < steps.size(); ++i) steps[i].cap_kt = v[i] / kMps;
}

TruthPoint lf_pointAt(const Step& a, const Step& b, double f, double t, double v_kt, double field)
{
    TruthPoint p;
    p.t_s = t;
    const double d_ft = (b.s_m - a.s_m) * f * kFtPerM;
    p.at = gf_destinationPoint(a.at, a.bearing_rad, d_ft);
    const double alt = a.alt_ft + (b.alt_ft - a.alt_ft) * f;
    p.onGround = !(a.air && alt > 0.0);
    p.alt_ft = p.onGround ? field : field + alt;
    p.speed_kt = v_kt;
    p.track_deg = std::fmod(a.bearing_rad / kRadPerDeg + 720.0, 360.0);
    p.heading_deg = std::fmod(p.track_deg + (a.reverse ? 180.0 : 0.0), 360.0);
    p.pushed = a.reverse;
    return p;
}

// A small, fixed random source for a stream: the same plan gives the same feed.
struct FeedRandom {
    explicit FeedRandom(const Plan& plan) : gen(std::hash<std::string>{}(planText(plan))) {}
    double uniform(double a, double b) { return std::uniform_real_distribution<double>(a, b)(gen); }
    std::mt19937_64 gen;
};

double lf_staleAt(const Plan& plan, double t)
{
    const double f = plan.delayOver_s > 0.0
                         ? std::clamp((t - plan.delayFrom_s) / plan.delayOver_s, 0.0, 1.0)
                         : (t >= plan.delayFrom_s ? 1.0 : 0.0);
    return std::max(plan.delay0_s + plan.delayChange_s * f, 0.0);
}

bool lf_inGap(const Plan& plan, double t)
{
    return std::any_of(plan.gaps.begin(), plan.gaps.end(),
                       [t](const Gap& g) { return t >= g.at_s && t < g.at_s + g.length_s; });
}

FedReport lf_reportOf(const TruthPoint& p, double time_s)
{
    FedReport r;
    r.time_s = time_s;
    r.at = p.at;
    r.alt_ft = p.onGround ? 0.0 : p.alt_ft;
    r.speed_kt = p.speed_kt;
    r.track_deg = p.track_deg;
    r.vs_fpm = p.vs_fpm;
    return r;
}

void lf_glitch(const Glitch& g, std::vector<FedReport>& out, FeedRandom& random)
{
    const auto k = static_cast<std::size_t>(
        std::find_if(out.begin(), out.end(),
                     [&](const FedReport& r) { return r.time_s >= g.at_s; }) -
        out.begin());
    if (k >= out.size()) return;
    FedReport& r = out[k];
    switch (g.kind) {
    case GlitchKind::jump:
        r.at = gf_destinationPoint(r.at, random.uniform(0.0, 2.0 * kPi), g.size_m * kFtPerM);
        r.glitch = true;
        break;
    case GlitchKind::outOfOrder:
        if (k + 1 < out.size()) {
            r.arrival_s = out[k + 1].arrival_s + 0.05;
            std::swap(out[k], out[k + 1]);
        }
        break;
    case GlitchKind::sameTime: {
        FedReport twin = r;
        twin.at = gf_destinationPoint(r.at, random.uniform(0.0, 2.0 * kPi), g.size_m * kFtPerM);
        twin.glitch = true;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(k) + 1, twin);
        break;
    }
    case GlitchKind::noSpeed:
        r.speed_kt = 0.0;
        r.track_deg = 0.0;
        r.glitch = true;
        break;
    case GlitchKind::relocate: {
        const double bearing = random.uniform(0.0, 2.0 * kPi);
        for (std::size_t j = k; j < out.size(); ++j) {
            out[j].at = gf_destinationPoint(out[j].at, bearing, g.size_m * kFtPerM);
        }
        break;
    }
    case GlitchKind::signedSpeed:
        // A feed that signs its speeds signs them all.
        for (FedReport& each : out) each.speed_kt = -each.speed_kt;
        break;
    }
}

// Numbers in the plan's text: shortest round trip.
std::string lf_num(double x)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, x);
    return std::string(buffer, result.ptr);
}

std::optional<double> lf_parseNum(std::string_view text)
{
    double x = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), x);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
    return x;
}

std::vector<std::string_view> lf_split(std::string_view text, char by)
{
    std::vector<std::string_view> parts;
    while (!text.empty()) {
        const auto at = text.find(by);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) break;
        text.remove_prefix(at + 1);
    }
    return parts;
}

constexpr std::string_view kKindNames[] = {"push",      "pullOut", "taxi",       "arrival",
                                           "departure", "air",     "touchAndGo", "hover"};
constexpr std::string_view kTypeNames[] = {"A320", "B738", "C172", "R44"};

// The plan's scalar fields by name, for the text both ways.
std::vector<std::pair<std::string_view, double*>> lf_scalars(Plan& p)
{
    return {{"lat", &p.lat},
            {"lon", &p.lon},
            {"course", &p.course_deg},
            {"field", &p.field_ft},
            {"parked", &p.parked_s},
            {"push", &p.push_m},
            {"pushTurn", &p.pushTurn_deg},
            {"pushSide", &p.pushSide_m},
            {"pushKt", &p.push_kt},
            {"pause", &p.pause_s},
            {"alt", &p.alt_ft},
            {"speed", &p.speed_kt},
            {"roll", &p.roll_ktps},
            {"rolls", &p.rolls_s},
            {"every", &p.interval_s},
            {"jitter", &p.jitter},
            {"stale", &p.delay0_s},
            {"staleBy", &p.delayChange_s},
            {"staleFrom", &p.delayFrom_s},
            {"staleOver", &p.delayOver_s},
            {"aroundBy", &p.aroundBy_s},
            {"aroundFrom", &p.aroundFrom_s},
            {"stallEvery", &p.stallEvery_s},
            {"stall", &p.stall_ms},
            {"stretchFrom", &p.stretchFrom_s},
            {"stretchFor", &p.stretchFor_s}};
}

template <typename T, std::size_t N>
std::string lf_list(const std::vector<T>& items, const char* name, auto fields)
{
    std::string out;
    for (const T& item : items) {
        std::vector<double> values = fields(item);
        std::string one;
        for (std::size_t i = 0; i < values.size(); ++i) {
            one += (i ? "," : "") + lf_num(values[i]);
        }
        out += fmt::format(" {}={}", name, one);
    }
    return out;
}

}  // namespace

std::string_view kindName(Kind kind) { return kKindNames[static_cast<int>(kind)]; }

double halfSpan_m(Type type)
{
    switch (type) {
    case Type::c172: return 5.5;
    case Type::r44: return 5.0;
    default: return 18.0;
    }
}

bool isRotor(Type type) { return lf_rotorType(type); }

std::string planText(const Plan& plan)
{
    Plan copy = plan;
    std::string out =
        fmt::format("{} {}", kindName(plan.kind), kTypeNames[static_cast<int>(plan.type)]);
    const Plan defaults;
    Plan d = defaults;
    auto mine = lf_scalars(copy);
    auto theirs = lf_scalars(d);
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (*mine[i].second != *theirs[i].second) {
            out += fmt::format(" {}={}", mine[i].first, lf_num(*mine[i].second));
        }
    }
    out += lf_list<TaxiLeg, 6>(plan.taxi, "leg", [](const TaxiLeg& l) {
        return std::vector<double>{l.turn_deg, l.radius_m, l.length_m,
                                   l.speed_kt, l.stop_s,   l.stopOnTurn ? 1.0 : 0.0};
    });
    out += lf_list<AirLeg, 5>(plan.air, "fly", [](const AirLeg& l) {
        return std::vector<double>{l.seconds, l.turn_dps, l.vs_fpm, l.speedChange_kt, l.hover_s};
    });
    out += lf_list<Gap, 2>(plan.gaps, "gap", [](const Gap& g) {
        return std::vector<double>{g.at_s, g.length_s};
    });
    out += lf_list<Glitch, 3>(plan.glitches, "glitch", [](const Glitch& g) {
        return std::vector<double>{static_cast<double>(g.kind), g.at_s, g.size_m};
    });
    return out;
}

std::optional<Plan> planFromText(std::string_view text)
{
    Plan plan;
    const auto words = lf_split(text, ' ');
    if (words.size() < 2) return std::nullopt;
    const auto kind = std::find(std::begin(kKindNames), std::end(kKindNames), words[0]);
    const auto type = std::find(std::begin(kTypeNames), std::end(kTypeNames), words[1]);
    if (kind == std::end(kKindNames) || type == std::end(kTypeNames)) return std::nullopt;
    plan.kind = static_cast<Kind>(kind - std::begin(kKindNames));
    plan.type = static_cast<Type>(type - std::begin(kTypeNames));
    auto scalars = lf_scalars(plan);
    for (std::size_t w = 2; w < words.size(); ++w) {
        if (words[w].empty()) continue;
        const auto eq = words[w].find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string_view key = words[w].substr(0, eq);
        std::vector<double> values;
        for (const auto part : lf_split(words[w].substr(eq + 1), ',')) {
            const auto x = lf_parseNum(part);
            if (!x) return std::nullopt;
            values.push_back(*x);
        }
        const auto scalar = std::find_if(scalars.begin(), scalars.end(),
                                         [&](const auto& s) { return s.first == key; });
        if (scalar != scalars.end() && values.size() == 1) {
            *scalar->second = values[0];
        } else if (key == "leg" && values.size() == 6) {
            plan.taxi.push_back(
                {values[0], values[1], values[2], values[3], values[4], values[5] != 0.0});
        } else if (key == "fly" && values.size() == 5) {
            plan.air.push_back({values[0], values[1], values[2], values[3], values[4]});
        } else if (key == "gap" && values.size() == 2) {
            plan.gaps.push_back({values[0], values[1]});
        } else if (key == "glitch" && values.size() == 3 && values[0] >= 0 && values[0] <= 5) {
            plan.glitches.push_back({static_cast<GlitchKind>(values[0]), values[1], values[2]});
        } else {
            return std::nullopt;
        }
    }
    return plan;
}

std::vector<TruthPoint> truthOf(const Plan& plan)
{
    double v0 = 0.0;
    double stand_s = 0.0;
    bool startReverse = false;
    const std::vector<Piece> pieces = lf_pieces(plan, v0, stand_s, startReverse);
    std::vector<Step> steps = lf_layPath(plan, pieces, startReverse);
    lf_planSpeed(steps, v0);
    std::vector<TruthPoint> out;
    const double field = plan.field_ft;
    // Parked first, facing the stand's way.
    double t = 0.0;
    for (; t < stand_s; t += kTruthStep_s) {
        TruthPoint p = lf_pointAt(steps[0], steps[0], 0.0, t, 0.0, field);
        p.heading_deg = plan.course_deg;
        p.track_deg = plan.course_deg;
        p.pushed = false;
        out.push_back(p);
    }
    // Along the steps: the time each takes at the mean of the speeds at its ends; a stop waits.
    double next = t;
    for (std::size_t i = 0; i + 1 < steps.size(); ++i) {
        const Step& a = steps[i];
        const Step& b = steps[i + 1];
        if (a.stop_s > 0.0) {
            for (const double until = t + a.stop_s; next < until; next += kTruthStep_s) {
                out.push_back(lf_pointAt(a, a, 0.0, next, 0.0, field));
            }
            t += a.stop_s;
        }
        const double ds = b.s_m - a.s_m;
        // From a standstill it creeps off: the speed plan starts it at no speed.
        const double va = std::max(a.cap_kt, 0.3) * kMps;
        const double vb = std::max(b.cap_kt, 0.3) * kMps;
        const double dt = ds / ((va + vb) / 2.0);
        for (; next < t + dt; next += kTruthStep_s) {
            const double f = dt > 0.0 ? (next - t) / dt : 0.0;
            out.push_back(lf_pointAt(a, b, f, next, (va + (vb - va) * f) / kMps, field));
        }
        t += dt;
    }
    const Step& end = steps.back();
    for (const double until = t + std::max(end.stop_s, 0.0); next < until; next += kTruthStep_s) {
        out.push_back(lf_pointAt(end, end, 0.0, next, 0.0, field));
    }
    // The vertical speed of each point, from its neighbours.
    for (std::size_t i = 1; i + 1 < out.size(); ++i) {
        out[i].vs_fpm = (out[i + 1].alt_ft - out[i - 1].alt_ft) / (2.0 * kTruthStep_s) * 60.0;
        if (out[i].onGround) out[i].vs_fpm = 0.0;
    }
    return out;
}

std::vector<FedReport> feedOf(const Plan& plan, const std::vector<TruthPoint>& truth)
{
    std::vector<FedReport> out;
    if (truth.empty()) return out;
    FeedRandom random(plan);
    const double end = truth.back().t_s;
    const double every = std::max(plan.interval_s, 0.1);
    for (double t = 0.0; t <= end;) {
        if (!lf_inGap(plan, t)) {
            const auto i =
                std::min(static_cast<std::size_t>(std::lround(t / kTruthStep_s)), truth.size() - 1);
            FedReport r = lf_reportOf(truth[i], t);
            r.stale_s = lf_staleAt(plan, t);
            r.arrival_s = t + r.stale_s;
            out.push_back(r);
        }
        t += every * (1.0 + plan.jitter * random.uniform(-1.0, 1.0));
    }
    for (const Glitch& g : plan.glitches) lf_glitch(g, out, random);
    return out;
}

}  // namespace qel::watch
