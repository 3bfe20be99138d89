// The trace reader, the motion classifier and the SVG writer of the track picture.
#include "track_picture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <numbers>
#include <optional>

#include <fmt/format.h>
#include <nlohmann/json.hpp>
#include <pugixml.hpp>

namespace qel::tracks {

namespace {

constexpr double kRadPerDeg = std::numbers::pi / 180.0;
constexpr double kMetresPerDegLat = 111132.95;
constexpr double kKtPerMps = 1.0 / 0.514444;
constexpr double kMoving_kt = 0.8;         // below this a ground object stands still
constexpr double kRunwaySpeed_kt = 35.0;   // above this a ground run is a roll, not taxi
constexpr double kParkedWithoutStands_s = 60.0;
constexpr std::size_t kMaxFields = 32;
constexpr double kCanvas = 1000.0;         // picture width, px
constexpr double kViewGap = 24.0;          // px between two views
constexpr double kApronMargin_m = 120.0;

std::optional<double> lf_number(std::string_view text)
{
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

// One CSV line into its fields; quoted fields may hold commas and doubled quotes.
std::vector<std::string> lf_fields(std::string_view line)
{
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            if (fields.size() >= kMaxFields) break;
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

struct LocalFrame {
    double lat0 = 0.0, lon0 = 0.0, cosLat = 1.0;
    double east(double lon) const { return (lon - lon0) * kMetresPerDegLat * cosLat; }
    double north(double lat) const { return (lat - lat0) * kMetresPerDegLat; }
};

double lf_distance_m(double lat1, double lon1, double lat2, double lon2)
{
    const double cosLat = std::cos((lat1 + lat2) * 0.5 * kRadPerDeg);
    const double dn = (lat2 - lat1) * kMetresPerDegLat;
    const double de = (lon2 - lon1) * kMetresPerDegLat * cosLat;
    return std::hypot(dn, de);
}

double lf_bearing_deg(double lat1, double lon1, double lat2, double lon2)
{
    const double cosLat = std::cos((lat1 + lat2) * 0.5 * kRadPerDeg);
    const double b = std::atan2((lon2 - lon1) * cosLat, lat2 - lat1) / kRadPerDeg;
    return b < 0.0 ? b + 360.0 : b;
}

double lf_angleBetween_deg(double a, double b)
{
    const double d = std::fmod(std::abs(a - b), 360.0);
    return d > 180.0 ? 360.0 - d : d;
}

bool lf_nearStand(const TracePoint& p, const std::vector<Stand>& stands)
{
    return std::any_of(stands.begin(), stands.end(), [&](const Stand& s) {
        return lf_distance_m(p.lat, p.lon, s.lat, s.lon) <= std::max(s.radius_m, 15.0);
    });
}

std::string_view lf_colour(Motion motion)
{
    switch (motion) {
    case Motion::air: return "#1f77b4";
    case Motion::landingRoll: return "#d62728";
    case Motion::takeOffRoll: return "#ff7f0e";
    case Motion::taxi: return "#2ca02c";
    case Motion::pushBack: return "#9467bd";
    case Motion::parked: return "#111111";
    }
    return "#777777";
}

std::string lf_escape(std::string_view text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20) out += c;
        }
    }
    return out;
}

struct View {
    LocalFrame frame;
    double minE = 0.0, maxN = 0.0, scale = 1.0, height = kCanvas;
    double x(double lon) const { return (frame.east(lon) - minE) * scale; }
    double y(double lat) const { return (maxN - frame.north(lat)) * scale; }
};

struct Box {
    double left = 0.0, top = 0.0, right = 0.0, bottom = 0.0;
    bool overlaps(const Box& o) const
    {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
};

// How a label is written and where it may go.
struct LabelStyle {
    double size;       // px
    double charWidth;  // px, wide enough for the widest letters of the font at that size
    std::string_view weight;
    std::string_view fill;
    bool aside;  // beside its point and further out with a leader line; else on or by it
};
// The widths hold capitals and digits of DejaVu Sans, the widest of the common sans-serif fonts.
constexpr LabelStyle kCallsign{13.0, 9.5, "bold", "#000000", true};
constexpr LabelStyle kStandName{10.0, 7.0, "normal", "#8a6d00", false};

// Labels that never cover one another: a callsign is tried beside its point, then further out
// with a leader line; a label that finds no free place is left out.
class LabelPlacer {
public:
    LabelPlacer(double width, double height) : width_(width), height_(height) {}
    void block(const Box& box) { taken_.push_back(box); }
    void place(std::string& svg, double x, double y, std::string_view text, const LabelStyle& style)
    {
        if (x < 0.0 || y < 0.0 || x > width_ || y > height_) return;
        const double w = static_cast<double>(text.size()) * style.charWidth;
        const double h = style.size;
        std::vector<std::pair<double, double>> spots;  // left, baseline
        if (style.aside) {
            // Rings further out, so that every flight at a busy pier or at the edge where
            // it left the view finds a place.
            for (const double d : {5.0, 14.0, 26.0, 40.0, 58.0, 80.0, 105.0, 135.0}) {
                spots.insert(spots.end(), {{x + d, y - d},
                                           {x + d, y + d + h},
                                           {x - d - w, y - d},
                                           {x - d - w, y + d + h},
                                           {x + d, y + h * 0.35},
                                           {x - d - w, y + h * 0.35},
                                           {x - w * 0.5, y - d},
                                           {x - w * 0.5, y + d + h}});
            }
        } else {
            // On the point, else just below or above it (where an aircraft stands on it).
            spots.insert(
                spots.end(),
                {{x - w * 0.5, y + h * 0.35}, {x - w * 0.5, y + 6.0 + h}, {x - w * 0.5, y - 6.0}});
        }
        for (const auto& [left, baseline] : spots) {
            const Box box{left - 1.0, baseline - h, left + w + 1.0, baseline + h * 0.25};
            if (box.left < 0.0 || box.top < 0.0 || box.right > width_ || box.bottom > height_ ||
                lf_anyOverlap(box)) {
                continue;
            }
            taken_.push_back(box);
            if (style.aside && std::hypot(left - x, baseline - y) > 10.0) {
                svg += fmt::format(
                    "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" "
                    "stroke=\"#555555\" stroke-width=\"0.6\"/>\n",
                    x, y, left > x ? left : left + w, baseline - h * 0.4);
            }
            svg += fmt::format(
                "<text x=\"{:.1f}\" y=\"{:.1f}\" font-size=\"{:.0f}\" "
                "font-weight=\"{}\" fill=\"{}\">{}</text>\n",
                left, baseline, h, style.weight, style.fill, lf_escape(text));
            return;
        }
    }

private:
    bool lf_anyOverlap(const Box& box) const
    {
        return std::any_of(taken_.begin(), taken_.end(),
                           [&](const Box& t) { return t.overlaps(box); });
    }

    double width_;
    double height_;
    std::vector<Box> taken_;
};

using Places = std::vector<std::pair<double, double>>;  // latitude, longitude

// A view of the places with a margin, at least `minMargin_m` wide on each side.
View lf_viewOf(const Places& places, double minMargin_m)
{
    View view;
    if (places.empty()) return view;
    double minLat = 90.0, maxLat = -90.0, minLon = 180.0, maxLon = -180.0;
    for (const auto& [lat, lon] : places) {
        minLat = std::min(minLat, lat);
        maxLat = std::max(maxLat, lat);
        minLon = std::min(minLon, lon);
        maxLon = std::max(maxLon, lon);
    }
    view.frame.lat0 = (minLat + maxLat) * 0.5;
    view.frame.lon0 = (minLon + maxLon) * 0.5;
    view.frame.cosLat = std::max(std::cos(view.frame.lat0 * kRadPerDeg), 0.01);
    double minE = view.frame.east(minLon), maxE = view.frame.east(maxLon);
    double minN = view.frame.north(minLat), maxN = view.frame.north(maxLat);
    const double margin = std::max({(maxE - minE) * 0.08, (maxN - minN) * 0.08, minMargin_m});
    minE -= margin;
    maxE += margin;
    minN -= margin;
    maxN += margin;
    view.minE = minE;
    view.maxN = maxN;
    view.scale = kCanvas / (maxE - minE);
    view.height = std::clamp((maxN - minN) * view.scale, 200.0, 4.0 * kCanvas);
    return view;
}

// The airport: everything on the ground, the stands and the runways, with a margin; the air
// legs of an approach reach far beyond the airport and would shrink it to a dot.
View lf_airportView(const std::map<long long, ObjectTrack>& tracks,
                    const std::vector<Stand>& stands, const std::vector<Runway>& runways)
{
    Places places;
    for (const auto& [id, track] : tracks) {
        for (const TracePoint& p : track.points) {
            if (p.onGround) places.emplace_back(p.lat, p.lon);
        }
    }
    for (const Stand& s : stands) places.emplace_back(s.lat, s.lon);
    for (const Runway& r : runways) {
        places.emplace_back(r.lat1, r.lon1);
        places.emplace_back(r.lat2, r.lon2);
    }
    if (places.empty()) {
        for (const auto& [id, track] : tracks) {
            for (const TracePoint& p : track.points) places.emplace_back(p.lat, p.lon);
        }
    }
    return lf_viewOf(places, 150.0);
}

// Everything the aircraft flew, so that every aircraft of the run has its name in one view: the
// approaches and climbs that the airport's view cuts off. None when nothing flew.
std::optional<View> lf_skyView(const std::map<long long, ObjectTrack>& tracks)
{
    Places places;
    bool flew = false;
    for (const auto& [id, track] : tracks) {
        if (track.kind != "ai" && track.kind != "user") continue;
        for (const TracePoint& p : track.points) {
            places.emplace_back(p.lat, p.lon);
            flew = flew || (track.kind == "ai" && !p.onGround);
        }
    }
    if (!flew) return std::nullopt;
    return lf_viewOf(places, 500.0);
}

// The park airport's apron: where aircraft stood still and the user is, so that the aircraft
// side by side at a pier get room for their names; the stands alone when none stood.
std::optional<View> lf_apronView(const std::map<long long, ObjectTrack>& tracks,
                                 const std::vector<Stand>& stands)
{
    Places places;
    for (const auto& [id, track] : tracks) {
        if (track.kind == "user" && !track.points.empty()) {
            places.emplace_back(track.points.back().lat, track.points.back().lon);
        }
        if (track.kind != "ai") continue;
        for (const TracePoint& p : track.points) {
            if (p.motion == Motion::parked) places.emplace_back(p.lat, p.lon);
        }
    }
    if (places.empty()) {
        for (const Stand& s : stands) places.emplace_back(s.lat, s.lon);
    }
    if (places.empty()) return std::nullopt;
    return lf_viewOf(places, kApronMargin_m);
}

constexpr std::string_view kRunwayColour = "#bbbbbb";
constexpr std::string_view kStandColour = "#cc9900";
constexpr double kRunwayNameSize = 12.0;      // px
constexpr double kRunwayNameCharWidth = 7.8;  // px

void lf_drawRunways(std::string& svg, const View& v, const std::vector<Runway>& runways,
                    LabelPlacer& labels)
{
    for (const Runway& r : runways) {
        const double x = v.x(r.lon1) + 4.0;
        const double y = v.y(r.lat1) - 4.0;
        labels.block({x, y - kRunwayNameSize,
                      x + kRunwayNameCharWidth * static_cast<double>(r.name.size()),
                      y + kRunwayNameSize * 0.25});
        svg += fmt::format(
            "<line x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke=\"{}\" "
            "stroke-width=\"{:.1f}\"/>\n",
            v.x(r.lon1), v.y(r.lat1), v.x(r.lon2), v.y(r.lat2), kRunwayColour,
            std::max(r.width_m * v.scale, 2.0));
        svg += fmt::format(
            "<text x=\"{:.1f}\" y=\"{:.1f}\" font-size=\"{:.0f}\" fill=\"#888888\">{}"
            "</text>\n",
            x, y, kRunwayNameSize, lf_escape(r.name));
    }
}

void lf_drawStands(std::string& svg, const View& v, const std::vector<Stand>& stands)
{
    for (const Stand& s : stands) {
        svg += fmt::format(
            "<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"{:.1f}\" fill=\"none\" "
            "stroke=\"{}\" stroke-width=\"0.8\"><title>{}</title></circle>\n",
            v.x(s.lon), v.y(s.lat), std::max(s.radius_m * v.scale, 1.5), kStandColour,
            lf_escape(s.name));
    }
}

bool lf_inView(const View& v, double x, double y)
{
    return x >= 0.0 && y >= 0.0 && x <= kCanvas && y <= v.height;
}

// Both ends beyond the same edge: the segment cannot cross the view.
bool lf_beyondOneEdge(const View& v, double x1, double y1, double x2, double y2)
{
    return (x1 < 0.0 && x2 < 0.0) || (y1 < 0.0 && y2 < 0.0) || (x1 > kCanvas && x2 > kCanvas) ||
           (y1 > v.height && y2 > v.height);
}

// The stretches of one motion of a track as the data of one path, in view pixels. A point less
// than a pixel from the last one written adds nothing to the picture and is left out (a
// stretch's last point always goes in), and so is a segment wholly beyond an edge of the view:
// a line per trace row made the picture of an eight-minute run 4.5 MB.
std::string lf_pathOf(const View& v, const std::vector<TracePoint>& pts, Motion motion)
{
    std::string d;
    bool open = false;
    double lastX = 0.0, lastY = 0.0;
    for (std::size_t i = 1; i < pts.size(); ++i) {
        const double ax = v.x(pts[i - 1].lon), ay = v.y(pts[i - 1].lat);
        const double bx = v.x(pts[i].lon), by = v.y(pts[i].lat);
        if (pts[i].motion != motion || lf_beyondOneEdge(v, ax, ay, bx, by)) {
            open = false;
            continue;
        }
        if (!open) {
            d += fmt::format("M{:.1f} {:.1f}", ax, ay);
            lastX = ax;
            lastY = ay;
            open = true;
        }
        const bool stretchEnds = i + 1 == pts.size() || pts[i + 1].motion != motion;
        if (!stretchEnds && std::hypot(bx - lastX, by - lastY) < 1.0) continue;
        d += fmt::format("L{:.1f} {:.1f}", bx, by);
        lastX = bx;
        lastY = by;
    }
    return d;
}

// The layers of moving tracks, bottom first: the air legs under everything on the ground, and a
// take-off roll wide under the landing roll, which runs along the same runway, so both show.
struct Layer {
    Motion motion;
    double width;  // px
};
constexpr Layer kLayers[] = {{Motion::air, 1.5},
                             {Motion::taxi, 2.0},
                             {Motion::pushBack, 2.0},
                             {Motion::takeOffRoll, 6.0},
                             {Motion::landingRoll, 2.0}};
constexpr double kParkedDot = 3.0;  // px, radius

bool lf_isAircraft(const ObjectTrack& track) { return track.kind == "ai" && !track.points.empty(); }

// Where each aircraft stood, once for every stretch of standing (its rows would all draw the
// same dot again), kept free of labels; then, above them, what moved.
void lf_drawTracks(std::string& svg, const View& v, const std::map<long long, ObjectTrack>& tracks,
                   LabelPlacer& labels)
{
    for (const auto& [id, track] : tracks) {
        if (!lf_isAircraft(track)) continue;
        bool stood = false;
        for (const TracePoint& p : track.points) {
            const bool stands = p.motion == Motion::parked;
            const double x = v.x(p.lon), y = v.y(p.lat);
            if (stands && !stood && lf_inView(v, x, y)) {
                svg +=
                    fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"{:.0f}\" fill=\"{}\"/>\n",
                                x, y, kParkedDot, lf_colour(Motion::parked));
                labels.block({x - kParkedDot, y - kParkedDot, x + kParkedDot, y + kParkedDot});
            }
            stood = stands;
        }
    }
    for (const Layer& layer : kLayers) {
        for (const auto& [id, track] : tracks) {
            if (!lf_isAircraft(track)) continue;
            const std::string d = lf_pathOf(v, track.points, layer.motion);
            if (d.empty()) continue;
            svg += fmt::format(
                "<path d=\"{}\" fill=\"none\" stroke=\"{}\" stroke-width=\"{:.1f}\" "
                "stroke-linejoin=\"round\"/>\n",
                d, lf_colour(layer.motion), layer.width);
        }
    }
}

constexpr double kLegendBand = 26.0;      // px, the strip above the views
constexpr double kLegendCharWidth = 7.0;  // px at font size 12

// The legend in a strip of its own above the views, where it covers nothing of them.
void lf_drawLegend(std::string& svg)
{
    constexpr double y = 13.0;
    double x = 8.0;
    const auto name = [&](std::string_view text) {
        svg += fmt::format("<text x=\"{:.0f}\" y=\"{:.0f}\" font-size=\"12\">{}</text>\n", x + 30.0,
                           y + 4.0, text);
        x += 30.0 + kLegendCharWidth * static_cast<double>(text.size()) + 14.0;
    };
    svg += "<g id=\"legend\">\n";
    for (const Motion m :
         {Motion::air, Motion::landingRoll, Motion::takeOffRoll, Motion::taxi, Motion::pushBack}) {
        const auto layer = std::find_if(std::begin(kLayers), std::end(kLayers),
                                        [&](const Layer& l) { return l.motion == m; });
        svg += fmt::format(
            "<line x1=\"{0:.0f}\" y1=\"{1:.0f}\" x2=\"{2:.0f}\" y2=\"{1:.0f}\" "
            "stroke=\"{3}\" stroke-width=\"{4:.1f}\"/>\n",
            x, y, x + 24.0, lf_colour(m), std::max(layer->width, 3.0));
        name(motionName(m));
    }
    svg += fmt::format("<circle cx=\"{:.0f}\" cy=\"{:.0f}\" r=\"{:.0f}\" fill=\"{}\"/>\n", x + 12.0,
                       y, kParkedDot, lf_colour(Motion::parked));
    name(motionName(Motion::parked));
    svg +=
        fmt::format("<rect x=\"{:.0f}\" y=\"{:.0f}\" width=\"8\" height=\"8\" fill=\"#e377c2\"/>\n",
                    x + 8.0, y - 4.0);
    name("user");
    svg += fmt::format(
        "<circle cx=\"{:.0f}\" cy=\"{:.0f}\" r=\"6\" fill=\"none\" stroke=\"{}\" "
        "stroke-width=\"0.8\"/>\n",
        x + 12.0, y, kStandColour);
    name("stand");
    svg += fmt::format(
        "<line x1=\"{0:.0f}\" y1=\"{1:.0f}\" x2=\"{2:.0f}\" y2=\"{1:.0f}\" "
        "stroke=\"{3}\" stroke-width=\"4\"/>\n",
        x, y, x + 24.0, kRunwayColour);
    name("runway");
    svg += "</g>\n";
}

}  // namespace

std::string_view motionName(Motion motion)
{
    switch (motion) {
    case Motion::air: return "air";
    case Motion::landingRoll: return "landing roll";
    case Motion::takeOffRoll: return "take-off roll";
    case Motion::taxi: return "taxi";
    case Motion::pushBack: return "push-back";
    case Motion::parked: return "parked";
    }
    return "?";
}

std::map<long long, ObjectTrack> parseTrace(std::string_view csv, std::size_t maxRows)
{
    std::map<long long, ObjectTrack> tracks;
    std::size_t rows = 0;
    bool header = true;
    while (!csv.empty() && rows < maxRows) {
        const std::size_t end = csv.find('\n');
        std::string_view line = csv.substr(0, end);
        csv.remove_prefix(end == std::string_view::npos ? csv.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (header) {
            header = false;
            if (line.starts_with("time_s,")) continue;
        }
        ++rows;
        const std::vector<std::string> f = lf_fields(line);
        if (f.size() < 14) continue;
        const auto time = lf_number(f[0]);
        const auto id = lf_number(f[1]);
        const auto lat = lf_number(f[5]);
        const auto lon = lf_number(f[6]);
        const auto heading = lf_number(f[9]);
        if (!time || !id || !lat || !lon || !heading || std::abs(*lat) > 90.0 ||
            std::abs(*lon) > 180.0 || std::abs(*id) > 1e15) {
            continue;
        }
        ObjectTrack& track = tracks[static_cast<long long>(*id)];
        track.kind = f[2];
        if (!f[3].empty()) track.atcId = f[3];
        track.points.push_back({*time, *lat, *lon, *heading, f[13] == "1", Motion::air});
    }
    for (auto& [id, track] : tracks) {
        std::stable_sort(track.points.begin(), track.points.end(),
                         [](const TracePoint& a, const TracePoint& b) { return a.time_s < b.time_s; });
    }
    return tracks;
}

void classify(ObjectTrack& track, const std::vector<Stand>& stands)
{
    auto& pts = track.points;
    bool wasAirborne = false;
    double stillSince = std::numeric_limits<double>::quiet_NaN();
    for (std::size_t i = 0; i < pts.size(); ++i) {
        TracePoint& p = pts[i];
        if (!p.onGround) {
            p.motion = Motion::air;
            wasAirborne = true;
            stillSince = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        // The speed and direction of the stretch into this point (out of it for the first).
        const TracePoint& a = i > 0 ? pts[i - 1] : p;
        const TracePoint& b = i > 0 ? p : (pts.size() > 1 ? pts[1] : p);
        const double dt = b.time_s - a.time_s;
        const double d_m = lf_distance_m(a.lat, a.lon, b.lat, b.lon);
        const double speed_kt = dt > 0.0 ? d_m / dt * kKtPerMps : 0.0;
        if (speed_kt < kMoving_kt) {
            if (std::isnan(stillSince)) stillSince = p.time_s;
            const bool parked = stands.empty() ? p.time_s - stillSince >= kParkedWithoutStands_s
                                               : lf_nearStand(p, stands);
            p.motion = parked ? Motion::parked : Motion::taxi;
            continue;
        }
        stillSince = std::numeric_limits<double>::quiet_NaN();
        const double course = lf_bearing_deg(a.lat, a.lon, b.lat, b.lon);
        if (speed_kt > kRunwaySpeed_kt) {
            p.motion = wasAirborne ? Motion::landingRoll : Motion::takeOffRoll;
        } else if (lf_angleBetween_deg(course, p.heading_deg) > 100.0) {
            p.motion = Motion::pushBack;
        } else {
            p.motion = Motion::taxi;
        }
        if (p.motion == Motion::taxi) wasAirborne = false;
    }
}

std::vector<Stand> parseStandFile(std::string_view xml)
{
    std::vector<Stand> stands;
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) return stands;
    for (const pugi::xpath_node& node : doc.select_nodes("//parkpos")) {
        const pugi::xml_node pos = node.node();
        const auto lat = lf_number(pos.attribute("latitude").value());
        const auto lon = lf_number(pos.attribute("longitude").value());
        const auto radius = lf_number(pos.attribute("radius").value());
        if (!lat || !lon || std::abs(*lat) > 90.0 || std::abs(*lon) > 180.0) continue;
        stands.push_back({pos.attribute("id").value(), *lat, *lon,
                          radius ? std::clamp(*radius, 0.0, 200.0) : 20.0});
    }
    return stands;
}

bool parseRunway(std::string_view text, Runway& runway)
{
    const std::vector<std::string> f = lf_fields(text);
    if (f.size() != 5) return false;
    const auto lat1 = lf_number(f[1]), lon1 = lf_number(f[2]);
    const auto lat2 = lf_number(f[3]), lon2 = lf_number(f[4]);
    if (!lat1 || !lon1 || !lat2 || !lon2) return false;
    if (std::abs(*lat1) > 90.0 || std::abs(*lat2) > 90.0 || std::abs(*lon1) > 180.0 ||
        std::abs(*lon2) > 180.0) {
        return false;
    }
    runway = {f[0], *lat1, *lon1, *lat2, *lon2, 45.0};
    return true;
}

std::vector<Runway> parseScenarioRunways(std::string_view json)
{
    std::vector<Runway> runways;
    const nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
    if (!doc.is_object() || !doc.contains("runways") || !doc["runways"].is_array()) return runways;
    for (const auto& entry : doc["runways"]) {
        if (!entry.is_object()) continue;
        auto number = [&](const char* key) -> std::optional<double> {
            const auto it = entry.find(key);
            if (it == entry.end() || !it->is_number()) return std::nullopt;
            const double v = it->get<double>();
            return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
        };
        const auto lat1 = number("lat1"), lon1 = number("lon1");
        const auto lat2 = number("lat2"), lon2 = number("lon2");
        if (!lat1 || !lon1 || !lat2 || !lon2 || std::abs(*lat1) > 90.0 ||
            std::abs(*lat2) > 90.0 || std::abs(*lon1) > 180.0 || std::abs(*lon2) > 180.0) {
            continue;
        }
        const auto name = entry.find("name");
        runways.push_back({name != entry.end() && name->is_string() ? name->get<std::string>() : "",
                           *lat1, *lon1, *lat2, *lon2, 45.0});
    }
    return runways;
}

namespace {

// The last place of a track inside the view: where it ended, or where it left the view.
std::optional<std::pair<double, double>> lf_lastInView(const View& v, const ObjectTrack& track)
{
    for (auto p = track.points.rbegin(); p != track.points.rend(); ++p) {
        const double x = v.x(p->lon), y = v.y(p->lat);
        if (lf_inView(v, x, y)) return std::pair{x, y};
    }
    return std::nullopt;
}

// The labels go last, over every track: every aircraft seen in the view is named where it was
// last seen there, tracks that moved first, then those that only stood; the aircraft themselves
// are kept free. Stand names, when asked for, take what room is left.
void lf_placeLabels(std::string& svg, const View& v, const std::map<long long, ObjectTrack>& tracks,
                    const std::vector<Stand>& stands, bool standNames, LabelPlacer& labels)
{
    for (const auto& [id, track] : tracks) {
        if (!lf_isAircraft(track)) continue;
        if (const auto at = lf_lastInView(v, track)) {
            labels.block({at->first - 4.0, at->second - 4.0, at->first + 4.0, at->second + 4.0});
        }
    }
    for (const bool moved : {true, false}) {
        for (const auto& [id, track] : tracks) {
            if (!lf_isAircraft(track) || track.atcId.empty()) continue;
            const bool stood =
                std::all_of(track.points.begin(), track.points.end(),
                            [](const TracePoint& p) { return p.motion == Motion::parked; });
            if (stood == moved) continue;
            if (const auto at = lf_lastInView(v, track)) {
                labels.place(svg, at->first, at->second, track.atcId, kCallsign);
            }
        }
    }
    if (!standNames) return;
    for (const Stand& s : stands) labels.place(svg, v.x(s.lon), v.y(s.lat), s.name, kStandName);
}

void lf_drawView(std::string& svg, const View& v, double top, std::string_view id,
                 std::string_view title, const std::map<long long, ObjectTrack>& tracks,
                 const std::vector<Stand>& stands, const std::vector<Runway>& runways,
                 bool standNames)
{
    svg += fmt::format(
        "<g id=\"{0}\" transform=\"translate(0,{1:.0f})\">\n"
        "<defs><clipPath id=\"{0}-clip\"><rect width=\"{2:.0f}\" height=\"{3:.0f}\"/></clipPath>"
        "</defs>\n<rect width=\"{2:.0f}\" height=\"{3:.0f}\" fill=\"#f7f7f2\" "
        "stroke=\"#999999\"/>\n"
        "<g clip-path=\"url(#{0}-clip)\">\n",
        id, top, kCanvas, v.height);
    LabelPlacer labels(kCanvas, v.height);
    const double titleWidth = kCallsign.charWidth * static_cast<double>(title.size());
    labels.block({kCanvas - 8.0 - titleWidth, 18.0 - kCallsign.size, kCanvas, 22.0});
    lf_drawRunways(svg, v, runways, labels);
    lf_drawStands(svg, v, stands);
    lf_drawTracks(svg, v, tracks, labels);
    for (const auto& [oid, track] : tracks) {
        if (track.kind != "user" || track.points.empty()) continue;
        const TracePoint& p = track.points.back();
        const double x = v.x(p.lon), y = v.y(p.lat);
        svg += fmt::format(
            "<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"8\" height=\"8\" "
            "fill=\"#e377c2\"><title>user</title></rect>\n",
            x - 4.0, y - 4.0);
        labels.block({x - 4.0, y - 4.0, x + 4.0, y + 4.0});
    }
    lf_placeLabels(svg, v, tracks, stands, standNames, labels);
    svg += "</g>\n";
    svg += fmt::format(
        "<text x=\"{:.0f}\" y=\"18\" font-size=\"13\" text-anchor=\"end\" "
        "fill=\"#555555\">{}</text>\n",
        kCanvas - 8.0, lf_escape(title));
    svg += "</g>\n";
}

}  // namespace

std::string renderSvg(const std::map<long long, ObjectTrack>& tracks,
                      const std::vector<Stand>& stands, const std::vector<Runway>& runways)
{
    struct Shown {
        View view;
        std::string_view id;
        std::string_view title;
        bool standNames;
    };
    std::vector<Shown> shown;
    if (const auto sky = lf_skyView(tracks)) {
        shown.push_back({*sky, "sky", "the sky around the airport, every aircraft", false});
    }
    shown.push_back(
        {lf_airportView(tracks, stands, runways), "airport", "the airport and its traffic", false});
    if (const auto apron = lf_apronView(tracks, stands)) {
        shown.push_back(
            {*apron, "apron", "the park airport's apron, its stands and aircraft", true});
    }
    double height = kLegendBand - kViewGap;
    for (const Shown& s : shown) height += kViewGap + s.view.height;
    std::string svg = fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0:.0f}\" height=\"{1:.0f}\" "
        "viewBox=\"0 0 {0:.0f} {1:.0f}\" font-family=\"sans-serif\">\n"
        "<rect width=\"{0:.0f}\" height=\"{1:.0f}\" fill=\"#ffffff\"/>\n",
        kCanvas, height);
    lf_drawLegend(svg);
    double top = kLegendBand;
    for (const Shown& s : shown) {
        lf_drawView(svg, s.view, top, s.id, s.title, tracks, stands, runways, s.standNames);
        top += s.view.height + kViewGap;
    }
    svg += "</svg>\n";
    return svg;
}

}  // namespace qel::tracks
