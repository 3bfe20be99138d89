// The watcher's checks. The reported path is the polyline of the reports that are places of the
// flight, in the order of their report times; each look at the object is matched to the nearest
// point of it among the reports that had come in by then (or were about to), and measured there:
// how far off, how long ago that report came in, how fast it was reported, which way the path
// goes. Speeds are taken over a second of looks, as a person judges them.
#include "watcher/watch_checks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>

#include <fmt/format.h>

#include "watcher/watch_bounds.h"

namespace qel::watch {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kMetresPerNm = 1852.0;
constexpr double kMps = 0.514444;
// The reports looked among for a match: those that came in up to this long before the look,
// and those about to come in (an aircraft may have reckoned its way ahead of its reports).
constexpr double kMatchBack_s = 240.0;
constexpr double kMatchAhead_s = 60.0;
// A watcher follows the aircraft along its way: where the way runs over a stretch reported this
// long before the place it was last matched to (a route that crosses or runs along itself), it
// is taken back there only when it is farther off the way it follows than kGoesNear_m (on the
// ground, kGroundOffPath_m).
constexpr double kGoneBack_s = 60.0;
// Reports this far apart in their coming in leave an aircraft reckoning its way, in the air off
// the path its reports join.
constexpr double kFedGap_s = 20.0;
// Reports within this of one another on the ground are a stop's jitter (0.00015 degrees).
constexpr double kStandingSpread_m = 16.0;
// Reported altitudes are rounded and the climb between them is the program's to lay.
constexpr double kAboveReports_ft = 200.0;
// The replay delay: a report's place is shown this long after it came in.
constexpr double kReplay_s = 30.0;
// The reports an air leg may leave out.
constexpr std::size_t kSkipped = 2;
// A stop reported this near the report before it is taken there (0.00015 degrees); nor are
// reports of a crawl that near told from standing.
constexpr double kShortOfStop_m = 20.0;
constexpr double kCrawl_kt = 5.0;
// Speeds are measured between looks at the positions of whole ticks, over seconds that do not
// fall on the legs' ends, and a look across a leg's end cuts its corner: a change at a bound may
// show a knot or two above it where a leg in the air ends turning sharply (onto reports that
// came back after a pause).
constexpr double kMeasure_kt = 1.0;
// Where the main loop's turns come late (a stretch at 90 % of their rate), each turn shows the
// way of the whole ticks run by then, up to one tick short of the simulator's time: a second of
// looks holds one tick more or less of the way at either end, and the speed measured over it of
// an aircraft holding its speed swings from one second to the next by up to two ticks' way.
constexpr double kTick_s = 0.01;
constexpr double kStretchTicks = 2.0;
// After a stretch, the two seconds a change is measured over, and one more in which the main
// loop comes back onto its grid: its first turn back may fall a few milliseconds short, and a
// tick with it, which the count of ticks due to the nearest one makes up only later. Allowed two
// seconds, a cruise at 336 kt seemed to gain 7.7 kt in the second that ended 2.1 s after one.
constexpr double kStretchSettles_s = 3.0;
// Reports this long after a removal make the flight anew.
constexpr double kComeBack_s = 60.0;
// An object that moved this far in the last second goes somewhere (0.5 m: 1 kt).
constexpr double kGoes_m = 0.5;
// A new object's speed changes are judged from this long after it appeared.
constexpr double kSettling_s = 5.0;

struct Vertex {
    LatLon at;
    double arrival_s = 0.0;  // simulator time
    double time_s = 0.0;     // report time
    double speed_kt = 0.0;
    bool ground = true;
    double s_m = 0.0;  // along the path
    double alt_ft = 0.0;
};

struct Match {
    std::size_t k = 0;  // segment k .. k + 1
    double f = 0.0;
    double off_m = 0.0;
};

double lf_wrap180(double deg)
{
    deg = std::fmod(deg + 540.0, 360.0);
    if (deg < 0.0) deg += 360.0;
    return deg - 180.0;
}

double lf_metres(LatLon a, LatLon b) { return gf_distanceNm(a, b) * kMetresPerNm; }

// A point in metres east and north of `o`.
std::pair<double, double> lf_local(LatLon o, LatLon p)
{
    const double d = lf_metres(o, p);
    const double b = gf_bearingRad(o, p);
    return {d * std::sin(b), d * std::cos(b)};
}

std::vector<Vertex> lf_path(const Watched& w)
{
    std::vector<FedReport> clean;
    for (const FedReport& r : *w.feed) {
        if (!r.glitch) clean.push_back(r);
    }
    std::stable_sort(clean.begin(), clean.end(),
                     [](const FedReport& a, const FedReport& b) { return a.time_s < b.time_s; });
    std::vector<Vertex> path;
    for (const FedReport& r : clean) {
        if (!path.empty() && path.back().time_s == r.time_s) continue;
        Vertex v{r.at, w.feedStart_s + r.arrival_s, r.time_s, std::abs(r.speed_kt),
                 r.alt_ft <= 0.0};
        v.s_m = path.empty() ? 0.0 : path.back().s_m + lf_metres(path.back().at, r.at);
        v.alt_ft = r.alt_ft;
        path.push_back(v);
    }
    return path;
}

// Places within this of the nearest are equally near (metres); a place that goes the way the
// aircraft moves is taken before one this much nearer that does not.
constexpr double kEquallyNear_m = 0.5;
constexpr double kGoesNear_m = 5.0;
// A part of the path goes the aircraft's way within 60 degrees of it: where the path crosses
// itself, a place as near on a way reported minutes before that crosses its own at 66 degrees
// made an arrival rounding its last corner 131.7 s behind.
constexpr double kGoesCos = 0.5;

// A tenth of a second on it is matched no farther back along its path than this (m) from where
// it was matched, while a place that near goes its way: where its way crosses a stretch it went
// along minutes before, near the same heading, that stretch may pass a few decimetres nearer
// than the chords of the bend it rounds, and the look seemed minutes behind its reports.
constexpr double kStepMost_m = 30.0;

// How far along its path a match lies (m).
double lf_s(const std::vector<Vertex>& path, const Match& m)
{
    const Vertex& a = path[m.k];
    const Vertex& b = path[std::min(m.k + 1, path.size() - 1)];
    return a.s_m + m.f * (b.s_m - a.s_m);
}

// The nearest place within kStepMost_m of where along its path it was matched a look before,
// that goes its way, among the reports that had come in by then (or were about to).
std::optional<Match> lf_continuing(const std::vector<Vertex>& path, const Look& look,
                                   std::optional<double> went_rad, std::size_t from, double lastS_m)
{
    std::optional<Match> on;
    for (std::size_t k = from; k + 1 < path.size(); ++k) {
        const Vertex& a = path[k];
        const Vertex& b = path[k + 1];
        if (b.s_m < lastS_m - kStepMost_m || a.s_m > lastS_m + kStepMost_m) continue;
        if (a.arrival_s > look.t_s + kMatchAhead_s || b.arrival_s < look.t_s - kMatchBack_s)
            continue;
        const auto [ax, ay] = lf_local(look.at, a.at);
        const auto [bx, by] = lf_local(look.at, b.at);
        const double dx = bx - ax, dy = by - ay;
        const double len2 = dx * dx + dy * dy;
        if (went_rad && !(len2 > 0.0 && std::cos(std::atan2(dx, dy) - *went_rad) >= kGoesCos))
            continue;
        const double f = len2 > 0.0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0.0;
        const double off = std::hypot(ax + f * dx, ay + f * dy);
        if (!on || off < on->off_m) on = Match{k, f, off};
    }
    return on;
}

// Among places equally near (standing reports), the one reported last that came in; but a moving
// aircraft is on a part of its path that goes its way, rather than where it was reported
// standing or going the other way a few metres off: a path that folds back on itself (pushed
// back along a taxilane, then taxiing along it the other way, the chords of its bends a little
// off the line) passes the same places both ways. Equally near is to the nearest: measured from
// each place chosen in turn, reports a few decimetres apart drew the choice along the path, tens
// of metres from the aircraft. `from`: the first segment it may be on; `since_s`: the first
// arrival of a segment's end that it may be on.
std::optional<Match> lf_matchSince(const std::vector<Vertex>& path, const Look& look,
                                   std::optional<double> went_rad, std::size_t from, double since_s)
{
    if (path.size() == 1) return Match{0, 0.0, lf_metres(look.at, path[0].at)};
    struct Candidate {
        Match m;
        double arrival = 0.0;
        bool goes = true;
    };
    std::vector<Candidate> near;
    // The places equally near the nearest (of those that go the aircraft's way, with `going`),
    // and the nearest of them.
    const auto scan = [&](bool going) {
        near.clear();
        double nearest = HUGE_VAL;
        for (std::size_t k = from; k + 1 < path.size(); ++k) {
            const Vertex& a = path[k];
            const Vertex& b = path[k + 1];
            if (a.arrival_s > look.t_s + kMatchAhead_s || b.arrival_s < since_s) continue;
            const double toA = lf_metres(look.at, a.at);
            const double span = b.s_m - a.s_m;
            if (toA - span > nearest + kEquallyNear_m) continue;
            const auto [ax, ay] = lf_local(look.at, a.at);
            const auto [bx, by] = lf_local(look.at, b.at);
            const double dx = bx - ax, dy = by - ay;
            const double len2 = dx * dx + dy * dy;
            const double f = len2 > 0.0 ? std::clamp(-(ax * dx + ay * dy) / len2, 0.0, 1.0) : 0.0;
            const double off = std::hypot(ax + f * dx, ay + f * dy);
            const bool goes =
                !went_rad || (len2 > 0.0 && std::cos(std::atan2(dx, dy) - *went_rad) >= kGoesCos);
            if (off > nearest + kEquallyNear_m || (going && !goes)) continue;
            nearest = std::min(nearest, off);
            const double arrival = a.arrival_s <= look.t_s ? a.arrival_s : -a.arrival_s;
            near.push_back({Match{k, f, off}, arrival, goes});
        }
        return nearest;
    };
    double nearest = scan(false);
    const double nearestAny_m = nearest;
    const auto goesNear = [&] {
        return std::any_of(near.begin(), near.end(), [&](const Candidate& c) {
            return c.goes && c.m.off_m <= nearest + kEquallyNear_m;
        });
    };
    bool going = goesNear();
    if (!going) {
        const double nearestGoing = scan(true);
        going = nearestGoing <= nearest + kGoesNear_m;
        nearest = going ? nearestGoing : scan(false);
    }
    const Candidate* best = nullptr;
    for (const Candidate& c : near) {
        if ((going && !c.goes) || c.m.off_m > nearest + kEquallyNear_m) continue;
        if (!best || c.arrival > best->arrival) best = &c;
    }
    if (!best) return std::nullopt;
    // How far off its path it is does not hang on which way the part nearest to it goes.
    Match m = best->m;
    m.off_m = std::min(m.off_m, nearestAny_m);
    return m;
}

// `followed_s`: when the place it was last matched to came in, if it was; `lastS_m`: how far
// along its path that place lies.
std::optional<Match> lf_match(const std::vector<Vertex>& path, const Look& look,
                              std::optional<double> went_rad, std::size_t from,
                              std::optional<double> followed_s, std::optional<double> lastS_m)
{
    std::optional<Match> any = lf_matchSince(path, look, went_rad, from, look.t_s - kMatchBack_s);
    if (any && lastS_m && lf_s(path, *any) < *lastS_m - kStepMost_m) {
        if (auto on = lf_continuing(path, look, went_rad, from, *lastS_m);
            on && on->off_m <= any->off_m + kGoesNear_m) {
            on->off_m = std::min(on->off_m, any->off_m);
            any = on;
        }
    }
    if (!any || !followed_s || path.size() < 2 ||
        path[any->k + 1].arrival_s >= *followed_s - kGoneBack_s) {
        return any;
    }
    std::optional<Match> on = lf_matchSince(path, look, went_rad, from, *followed_s - kGoneBack_s);
    // On the ground, off the way it follows by no more than the bound, it is on that way: leaving
    // a pause in its reports it rounds a corner off the chord that stands for the way unreported.
    const double near_m = look.onGround ? kGroundOffPath_m : kGoesNear_m;
    if (!on || on->off_m > any->off_m + near_m) return any;
    on->off_m = std::min(on->off_m, any->off_m);
    return on;
}

// One kind of fault: its first sighting and how often it was seen.
struct Tally {
    std::map<std::string, std::pair<std::string, int>> kinds;
    void note(const std::string& kind, const std::string& first)
    {
        auto& entry = kinds[kind];
        if (entry.second++ == 0) entry.first = first;
    }
};

// The feed came in steadily about the path's segment k: no report missing long enough for the
// aircraft to have reckoned its way, and the feed not falling behind or catching up.
bool lf_fed(const std::vector<Vertex>& path, const Watched& w, std::size_t k)
{
    const std::size_t from = k >= 3 ? k - 3 : 0;
    const std::size_t to = std::min(k + 4, path.size() - 1);
    for (std::size_t j = from; j < to; ++j) {
        if (path[j + 1].arrival_s - path[j].arrival_s > kFedGap_s) return false;
        const double behind =
            (path[j + 1].arrival_s - path[j + 1].time_s) - (path[j].arrival_s - path[j].time_s);
        if (std::abs(behind) > 2.0) return false;
    }
    return !w.plan->glitches.size() ||
           std::none_of(w.plan->glitches.begin(), w.plan->glitches.end(), [&](const Glitch& g) {
               return g.at_s >= path[from].time_s - 10.0 && g.at_s <= path[to].time_s + 10.0;
           });
}

double lf_reportedRate(const std::vector<Vertex>& path, std::size_t k)
{
    double rate = 0.0;
    for (std::size_t j = k >= 1 ? k - 1 : 0; j + 1 < path.size() && j <= k + 1; ++j) {
        const double dt = path[j + 1].time_s - path[j].time_s;
        if (dt > 0.0) rate = std::max(rate, std::abs(path[j + 1].speed_kt - path[j].speed_kt) / dt);
    }
    return rate;
}

double lf_reportedSpeed(const std::vector<Vertex>& path, std::size_t k)
{
    double v = 0.0;
    for (std::size_t j = k >= 1 ? k - 1 : 0; j < path.size() && j <= k + 2; ++j) {
        v = std::max(v, path[j].speed_kt);
    }
    return v;
}

// In the air the legs are straight between samples, and a leg may leave out a report or two
// that added nothing (a climb-out flies to the first report that is well up): off the path by
// the least of its distances to the reported segments and to the chords that skip up to
// kSkipped reports about segment k.
double lf_offChords(const std::vector<Vertex>& path, std::size_t k, LatLon at, double off)
{
    const std::size_t from = k >= kSkipped ? k - kSkipped : 0;
    for (std::size_t i = from; i <= k; ++i) {
        for (std::size_t j = i + 2; j <= i + kSkipped + 1 && j < path.size(); ++j) {
            const auto [ax, ay] = lf_local(at, path[i].at);
            const auto [bx, by] = lf_local(at, path[j].at);
            const double dx = bx - ax, dy = by - ay;
            const double len2 = dx * dx + dy * dy;
            if (!(len2 > 0.0)) continue;
            const double f = -(ax * dx + ay * dy) / len2;
            if (f < 0.0 || f > 1.0) continue;
            off = std::min(off, std::hypot(ax + f * dx, ay + f * dy));
        }
    }
    return off;
}

// How far off the reports it may be for reckoning ahead of them (m): 0 where a report of the
// way ahead of it has come in, else the drift of a turn that changed by the most the feed's turn
// rate can change, over the time from the newest report that came in to where it is.
double lf_reckonedOff_m(const std::vector<Vertex>& path, const Vertex& a, const Vertex& b, double f,
                        double t_s)
{
    if (b.arrival_s <= t_s) return 0.0;
    const auto newest = std::find_if(path.rbegin(), path.rend(),
                                     [t_s](const Vertex& v) { return v.arrival_s <= t_s; });
    if (newest == path.rend()) return 0.0;
    const double lead_s = std::max(a.time_s + f * (b.time_s - a.time_s) - newest->time_s, 0.0);
    const double dw = kReckonTurnChange_dps * kPi / 180.0;
    return 0.5 * dw * lead_s * lead_s * newest->speed_kt * kMps;
}

// The speed over the second up to look i (kt): the way along the looks, which a bend between
// two of them shortens less than the chord over the whole second.
double lf_speed(const std::vector<Look>& seen, std::size_t i)
{
    double metres = 0.0;
    for (std::size_t j = i + 1 - kSamplesPerSecond; j <= i; ++j) {
        metres += lf_metres(seen[j - 1].at, seen[j].at);
    }
    return metres / kMetresPerNm * 3600.0;
}

bool lf_removalAllowed(const Plan& plan)
{
    // A place it cannot follow: a jump, or a gap in its reports after which they come back
    // farther from where it held than the hold allows, or aside the way it reckoned along.
    const bool jump = std::any_of(plan.glitches.begin(), plan.glitches.end(), [](const Glitch& g) {
        return (g.kind == GlitchKind::jump || g.kind == GlitchKind::sameTime ||
                g.kind == GlitchKind::relocate) &&
               g.size_m >= 100.0;
    });
    return jump || !plan.gaps.empty();
}

}  // namespace

Verdict judge(const Watched& w)
{
    Verdict verdict;
    Tally tally;
    const std::vector<Vertex> path = lf_path(w);
    const auto& seen = w.seen;
    const auto at = [&](double t) {
        return fmt::format("{:.1f} s ({:+.1f} s of the stream)", t, t - w.feedStart_s);
    };
    double lastArrival = -HUGE_VAL;
    for (const FedReport& r : *w.feed)
        lastArrival = std::max(lastArrival, w.feedStart_s + r.arrival_s);

    double sweep_deg = 0.0;
    double sMax = -HUGE_VAL;
    double bornAt = 0.0;
    // Past its last report, every report in, it reckons its way on from there: it is held to that
    // report, not matched to a stretch of its way reported minutes before that it flies near again
    // (a climb-out turning back over its runway, a loop), where it would seem minutes behind.
    bool pastEnd = false;
    std::optional<double> followed_s;
    std::optional<double> lastS_m;
    uint32_t object = 0;
    std::vector<double> removals;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const Look& look = seen[i];
        if (look.objectId == ~0U) {
            tally.note("two objects at once", at(look.t_s));
            continue;
        }
        if (look.objectId != object) {
            if (object != 0) removals.push_back(look.t_s);
            if (look.objectId != 0) ++verdict.objects;
            object = look.objectId;
            sweep_deg = 0.0;
            sMax = -HUGE_VAL;
            bornAt = look.t_s;
            pastEnd = false;
            followed_s.reset();
            lastS_m.reset();
        }
        if (object == 0 || path.empty()) continue;
        verdict.watched_s += kSample_s;
        // Where the flights around it are reported staler, the program shows it that much later,
        // in step with them.
        const bool heldBack = look.t_s >= w.feedStart_s + w.plan->aroundFrom_s;
        const double heldBy_s = heldBack ? std::max(-w.plan->aroundBy_s, 0.0) : 0.0;
        // Once it has been shown the last report, it reckons on from there in the air: its way
        // may loop back over where it flew, but it is on its last segment or beyond.
        const bool ended =
            !look.onGround && look.t_s > lastArrival + kReplay_s + heldBy_s && path.size() >= 2;
        std::optional<double> went_rad;
        if (i >= kSamplesPerSecond && seen[i - kSamplesPerSecond].objectId == object &&
            lf_metres(seen[i - kSamplesPerSecond].at, look.at) >= kGoes_m) {
            went_rad = gf_bearingRad(seen[i - kSamplesPerSecond].at, look.at);
        }
        std::optional<Match> m =
            lf_match(path, look, went_rad, ended ? path.size() - 2 : 0, followed_s, lastS_m);
        if (!m) continue;
        const std::size_t last = path.size() >= 2 ? path.size() - 2 : 0;
        pastEnd = pastEnd || (m->k == last && m->f >= 1.0 && look.t_s >= lastArrival + heldBy_s);
        if (pastEnd && path.size() >= 2) m = Match{last, 1.0, lf_metres(look.at, path.back().at)};
        const Vertex& a = path[m->k];
        const Vertex& b = path[std::min(m->k + 1, path.size() - 1)];
        // How long ago the report of where it is came in, where a report of a place further on
        // came in since: at the newest place reported it is behind nothing, nor a few metres
        // short of it (a stop reported just beyond the report before is taken where that lies).
        const double s = a.s_m + m->f * (b.s_m - a.s_m);
        lastS_m = s;
        double cameIn = a.arrival_s + m->f * (b.arrival_s - a.arrival_s);
        // Across a gap in the reports the way between came in with the report after it: nothing
        // said before where it went meanwhile.
        if (b.arrival_s - a.arrival_s > kFedGap_s) cameIn = b.arrival_s;
        if (cameIn <= look.t_s) followed_s = cameIn;
        // At the end of the way before such a gap (or beyond it, or where the reports stood
        // there until it), it is where that gap's way begins.
        for (std::size_t j = m->k + 1; j + 1 < path.size() && path[j].s_m <= s + kGoes_m; ++j) {
            if (path[j + 1].arrival_s - path[j].arrival_s > kFedGap_s) {
                cameIn = std::max(cameIn, path[j + 1].arrival_s);
                break;
            }
        }
        // Reports of a crawl or a stop a few metres on say where it stands: it is as far on as
        // the last of them.
        for (std::size_t j = m->k + 1; j < path.size() && path[j].s_m <= s + kShortOfStop_m; ++j) {
            if (path[j].speed_kt <= kCrawl_kt && path[j].arrival_s <= look.t_s) {
                cameIn = std::max(cameIn, path[j].arrival_s);
            }
        }
        const auto ahead =
            std::find_if(path.begin() + static_cast<std::ptrdiff_t>(m->k) + 1, path.end(),
                         [s](const Vertex& v) { return v.s_m > s + kShortOfStop_m; });
        const double lag =
            ahead == path.end() || ahead->arrival_s > look.t_s ? 0.0 : look.t_s - cameIn;
        // In its last seconds before it is taken out it follows no reports.
        const bool leaving =
            seen[std::min(i + 2 * kSamplesPerSecond, seen.size() - 1)].objectId != object;
        if (!leaving) verdict.worstLag_s = std::max(verdict.worstLag_s, lag);
        if (!leaving && lag > kMostLag_s + heldBy_s) {
            tally.note("behind its reports",
                       fmt::format("{:.1f} s behind at {}", lag, at(look.t_s)));
        }
        if (w.rows && i % kSamplesPerSecond == 0) {
            const double v =
                i >= kSamplesPerSecond && seen[i - kSamplesPerSecond].objectId == object
                    ? lf_speed(seen, i)
                    : -1.0;
            w.rows->push_back(fmt::format(
                "{:7.1f} {:+7.1f} {:4} {:>11.7f} {:>12.7f} {:6.0f} {:5.1f} hdg {:5.1f} {} | seg "
                "{:3} "
                "f {:.2f} off {:5.1f} lag {:5.1f} rep {:5.1f}-{:5.1f} kt",
                look.t_s, look.t_s - w.feedStart_s, look.objectId, look.at.lat, look.at.lon,
                look.alt_ft, v, look.heading_deg, look.onGround ? "gnd" : "air", m->k, m->f,
                m->off_m, lag, a.speed_kt, b.speed_kt));
        }
        const bool groundWay = a.ground && b.ground;
        // Beyond the newest report that has come in it rolls out or reckons its way: no report
        // says where that is.
        const bool beyond =
            m->f >= 1.0 && (m->k + 2 >= path.size() || path[m->k + 2].arrival_s > look.t_s);
        if (look.onGround && groundWay && !beyond) {
            verdict.worstOffPath_m = std::max(verdict.worstOffPath_m, m->off_m);
            if (m->off_m > kGroundOffPath_m) {
                tally.note("off its path on the ground",
                           fmt::format("{:.1f} m off at {}", m->off_m, at(look.t_s)));
            }
        } else if (!look.onGround && !a.ground && !b.ground && lf_fed(path, w, m->k) &&
                   m->f > 0.0 && m->f < 1.0) {
            const double off = lf_offChords(path, m->k, look.at, m->off_m);
            verdict.worstOffPath_m = std::max(verdict.worstOffPath_m, off);
            if (off > kAirOffPath_m + lf_reckonedOff_m(path, a, b, m->f, look.t_s)) {
                tally.note("off its path in the air",
                           fmt::format("{:.1f} m off at {}", off, at(look.t_s)));
            }
        }
        // Higher than any report about it says it flew; beyond the newest it reckons its climb.
        if (!look.onGround && !a.ground && !b.ground && !beyond) {
            double highest = -HUGE_VAL;
            for (std::size_t j = m->k >= 1 ? m->k - 1 : 0; j < path.size() && j <= m->k + 2; ++j) {
                highest = std::max(highest, path[j].alt_ft);
            }
            if (look.alt_ft > highest + kAboveReports_ft) {
                tally.note("above its reports",
                           fmt::format("{:.0f} ft where {:.0f} ft was reported at {}", look.alt_ft,
                                       highest, at(look.t_s)));
            }
        }
        // Over the last second, and the second before.
        const auto same = [&](std::size_t back) {
            return i >= back && seen[i - back].objectId == object;
        };
        if (!same(kSamplesPerSecond)) continue;
        const Look& before = seen[i - kSamplesPerSecond];
        const double v1 = lf_speed(seen, i);
        // Where no report of it has come in yet, it reckons its way: no speed is reported there.
        const double reported = lf_reportedSpeed(path, m->k);
        if (b.arrival_s <= look.t_s && v1 > kFasterTimes * reported + kFasterBy_kt) {
            tally.note("faster than reported",
                       fmt::format("{:.1f} kt where {:.1f} kt was reported at {}", v1, reported,
                                   at(look.t_s)));
        }
        // A turn on the spot while its reports move.
        const double turned = std::abs(lf_wrap180(look.heading_deg - seen[i - 1].heading_deg));
        if (v1 >= kSpotSpeed_kt) {
            sweep_deg = 0.0;
        } else if (std::max(a.speed_kt, b.speed_kt) > kSpotSpeed_kt) {
            sweep_deg += turned;
            if (sweep_deg > kSpotSweep_deg) {
                tally.note("turns on the spot",
                           fmt::format("{:.0f} degrees below {} kt by {}", sweep_deg, kSpotSpeed_kt,
                                       at(look.t_s)));
                sweep_deg = -1e9;  // once a stretch
            }
        }
        // Back along its way.
        if (v1 >= 1.0 && s < sMax - kBackwards_m) {
            const double way = gf_bearingRad(a.at, b.at) * 180.0 / kPi;
            const double went = gf_bearingRad(before.at, look.at) * 180.0 / kPi;
            if (std::abs(lf_wrap180(went - way)) > 90.0 && b.s_m > a.s_m) {
                tally.note("backwards along its way",
                           fmt::format("{:.1f} m back at {}", sMax - s, at(look.t_s)));
            }
        }
        sMax = std::max(sMax, s);
        // Nor in its last second, when its removal is queued and it stands until it goes.
        const std::size_t soon = std::min(i + 2 * kSamplesPerSecond, seen.size() - 1);
        if (seen[soon].objectId != object) continue;
        // Nor are its turns and speeds measured across a stall of the main loop, which the
        // object stands through and makes up after.
        const double stall_s = w.plan->stall_ms / 1000.0;
        if (std::any_of(w.stalls.begin(), w.stalls.end(), [&](double stall) {
                return stall >= look.t_s - 2.0 - stall_s - kSample_s && stall <= look.t_s;
            })) {
            continue;
        }
        bool ground = true, air = true;
        for (std::size_t j = 0; j <= kSamplesPerSecond; ++j) {
            ground = ground && seen[i - j].onGround;
            air = air && !seen[i - j].onGround;
        }
        if (ground && v1 >= kSidewaysFrom_kt) {
            double turn_deg = 0.0;
            for (std::size_t j = 0; j < kSamplesPerSecond; ++j) {
                turn_deg += lf_wrap180(seen[i - j].heading_deg - seen[i - j - 1].heading_deg);
            }
            const double g = v1 * kMps * std::abs(turn_deg) * kPi / 180.0 / 9.80665;
            verdict.worstSideways_g = std::max(verdict.worstSideways_g, g);
            if (g > kSideways_g) {
                tally.note("too hard sideways",
                           fmt::format("{:.2f} g at {:.1f} kt at {}", g, v1, at(look.t_s)));
            }
        }
        // Its first seconds: the simulator shows an object standing where it was created until
        // the program has learned which it is and drives it.
        if (!same(2 * kSamplesPerSecond) || look.t_s - bornAt < kSettling_s) continue;

        const Look& earlier = seen[i - 2 * kSamplesPerSecond];
        const double v0 = lf_speed(seen, i - kSamplesPerSecond);
        const Plan& plan = *w.plan;
        const double streamT = look.t_s - w.feedStart_s;
        const bool stretched = plan.stretchFor_s > 0.0 && streamT >= plan.stretchFrom_s &&
                               streamT < plan.stretchFrom_s + plan.stretchFor_s + kStretchSettles_s;
        // The change measured, less what the late turns of a stretch put into it.
        const double change =
            std::abs(v1 - v0) - (stretched ? kStretchTicks * kTick_s * std::max(v0, v1) : 0.0);
        bool groundBoth = ground && earlier.onGround;
        bool airBoth = air && !earlier.onGround;
        for (std::size_t j = kSamplesPerSecond; j <= 2 * kSamplesPerSecond; ++j) {
            groundBoth = groundBoth && seen[i - j].onGround;
            airBoth = airBoth && !seen[i - j].onGround;
        }
        if (groundBoth && change > kGroundSpeedChange_ktPerS + kMeasure_kt) {
            tally.note(
                "speed jump on the ground",
                fmt::format("{:.1f} kt to {:.1f} kt in a second at {}", v0, v1, at(look.t_s)));
        }
        if (airBoth && change > kAirSpeedChange_ktPerS + kMeasure_kt &&
            change > lf_reportedRate(path, m->k) * 1.2 + 1.0) {
            tally.note(
                "speed jump in the air",
                fmt::format("{:.1f} kt to {:.1f} kt in a second at {}", v0, v1, at(look.t_s)));
        }
    }
    if (object != 0) verdict.removals = static_cast<int>(removals.size());
    verdict.removals = static_cast<int>(removals.size());
    // Reports on the ground that never go farther from the first than its stop's jitter show an
    // aircraft standing off a stand, which is shown once it moves.
    const bool standing =
        !path.empty() && std::all_of(path.begin(), path.end(), [&](const Vertex& v) {
            return v.ground && lf_metres(v.at, path.front().at) <= kStandingSpread_m;
        });
    if (verdict.objects == 0 && !standing) tally.note("never shown", "no object in the simulator");
    for (const double t : removals) {
        if (t >= lastArrival + kReplay_s - 1.0) continue;
        // Taken out while its reports still came: allowed only for a place it cannot follow,
        // and then it comes back.
        const auto it =
            std::find_if(seen.begin(), seen.end(), [t](const Look& l) { return l.t_s >= t; });
        // A minute of reports after it at the least: a new flight waits for two of them and
        // the replay delay before it is shown.
        const bool back =
            std::any_of(it, seen.end(), [](const Look& l) { return l.objectId != 0; }) ||
            lastArrival < t + kComeBack_s;
        if (!lf_removalAllowed(*w.plan) || !back) {
            tally.note("removed while reported", fmt::format("at {}", at(t)));
        }
    }
    const auto lines = static_cast<int>(
        std::count_if(w.logLines.begin(), w.logLines.end(), [&](const std::string& line) {
            return line.find(w.callsign) != std::string::npos &&
                   line.find("removed") != std::string::npos;
        }));
    if (lines < verdict.removals) {
        tally.note("removed without a line",
                   fmt::format("{} removal(s), {} line(s) in Log.txt", verdict.removals, lines));
    }
    if (w.longestTick_s > kLongestTick_s) {
        tally.note("a tick that took long", fmt::format("{:.1f} s", w.longestTick_s));
    }
    for (const auto& [kind, first] : tally.kinds) {
        verdict.faults.push_back(
            fmt::format("{} ({}x), first {}", kind, first.second, first.first));
    }
    return verdict;
}

}  // namespace qel::watch
