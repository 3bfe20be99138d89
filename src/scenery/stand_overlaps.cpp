// The overlap search of the park airport's stands. Stands are grouped by their radius (a factor
// of four per group); each group is a grid of cubes in space, one cube twice as wide as two of
// the group's largest radii reach. A stand looks for partners only in the 8 cubes nearest it in the grid of
// its own group and of each group of larger stands, so the work grows with the stands and what
// they overlap, not with the square of their number. The distance test itself is the one the
// stands were always measured with.
#include "scenery/stand_overlaps.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <span>

#include "foundation/geodesy.h"

namespace qel {

namespace {

constexpr double lf_overlapSlack = 1.1;  // circles overlap when radii exceed 1.1 × distance
constexpr double lf_earthRadius_nm = 3437.746770784939;  // as gf_distanceNm measures
constexpr double lf_radPerDegree = 0.017453292519943295;
// Cubes a little wider than needed: rounding must never hide a partner.
constexpr double lf_cellMargin = 1.000001;

using Point = std::array<double, 3>;  // on the sphere, nautical miles

Point lf_point(const ParkStand& stand)
{
    const double lat = stand.latitude * lf_radPerDegree;
    const double lon = stand.longitude * lf_radPerDegree;
    return {lf_earthRadius_nm * std::cos(lat) * std::cos(lon),
            lf_earthRadius_nm * std::cos(lat) * std::sin(lon), lf_earthRadius_nm * std::sin(lat)};
}

// The straight line between two points of the sphere is never longer than the great circle:
// a pair whose line already exceeds the reach cannot overlap.
double lf_chord(const Point& a, const Point& b)
{
    const double dx = a[0] - b[0];
    const double dy = a[1] - b[1];
    const double dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

struct Cell {
    int64_t x, y, z;
    bool operator==(const Cell&) const = default;
    // Spelled out: the defaulted <=> compares with a literal 0 that clang-tidy 14 takes for a
    // null pointer.
    bool operator<(const Cell& o) const
    {
        if (x != o.x) return x < o.x;
        if (y != o.y) return y < o.y;
        return z < o.z;
    }
};

uint64_t lf_hash(const Cell& c)
{
    uint64_t h = static_cast<uint64_t>(c.x) * 0x9E3779B97F4A7C15ULL;
    h ^= static_cast<uint64_t>(c.y) * 0xC2B2AE3D27D4EB4FULL;
    h ^= static_cast<uint64_t>(c.z) * 0x165667B19E3779F9ULL;
    return h ^ (h >> 31);
}

// The stands of a range of radii (a factor of four), sorted by their cube, and an
// open-addressing table from a cube to its run of stands: a load looks up tens of cubes per
// stand.
class Group {
public:
    void add(std::size_t stand, double radius)
    {
        members_.push_back(stand);
        largestRadius_ = std::max(largestRadius_, radius);
    }
    const std::vector<std::size_t>& members() const { return members_; }

    void build(const std::vector<Point>& points)
    {
        // Twice the reach: a partner lies in the cube or, on each axis, in the neighbour on the
        // side of the cube's nearer face, so 8 cubes are looked up rather than 27.
        cell_ = 4.0 * largestRadius_ / lf_overlapSlack * lf_cellMargin;
        std::vector<std::pair<Cell, std::size_t>> sorted;
        sorted.reserve(members_.size());
        for (const std::size_t i : members_) sorted.emplace_back(cellOf(points[i]), i);
        std::sort(sorted.begin(), sorted.end());
        std::size_t capacity = 16;
        while (capacity < 2 * sorted.size()) capacity *= 2;
        slots_.assign(capacity, {});
        byCell_.clear();
        byCell_.reserve(sorted.size());
        for (std::size_t i = 0; i < sorted.size();) {
            const Cell cell = sorted[i].first;
            Slot slot{cell, static_cast<uint32_t>(byCell_.size()), 0, true};
            for (; i < sorted.size() && sorted[i].first == cell; ++i) {
                byCell_.push_back(sorted[i].second);
            }
            slot.end = static_cast<uint32_t>(byCell_.size());
            std::size_t at = lf_hash(cell) & (capacity - 1);
            while (slots_[at].used) at = (at + 1) & (capacity - 1);
            slots_[at] = slot;
        }
    }

    Cell cellOf(const Point& p) const
    {
        return {static_cast<int64_t>(std::floor(p[0] / cell_)),
                static_cast<int64_t>(std::floor(p[1] / cell_)),
                static_cast<int64_t>(std::floor(p[2] / cell_))};
    }

    // The first of the two cubes along each axis where the partners of a stand at `p` lie.
    Cell lowerCorner(const Point& p) const
    {
        Cell corner{};
        int64_t* axes[] = {&corner.x, &corner.y, &corner.z};
        for (std::size_t i = 0; i < 3; ++i) {
            const double at = p[i] / cell_;
            const double whole = std::floor(at);
            *axes[i] = static_cast<int64_t>(whole) - (at - whole < 0.5 ? 1 : 0);
        }
        return corner;
    }

    // The stands in the cube; empty when it holds none.
    std::span<const std::size_t> at(const Cell& cell) const
    {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t at = lf_hash(cell) & mask; slots_[at].used; at = (at + 1) & mask) {
            if (slots_[at].cell == cell) {
                return {byCell_.data() + slots_[at].begin, slots_[at].end - slots_[at].begin};
            }
        }
        return {};
    }

private:
    struct Slot {
        Cell cell{};
        uint32_t begin = 0;
        uint32_t end = 0;
        bool used = false;
    };
    double largestRadius_ = 0.0;  // nm
    double cell_ = 0.0;           // nm, the cubes' width: twice the farthest a partner lies
    std::vector<std::size_t> members_;
    std::vector<std::size_t> byCell_;  // members_ in the order of their cubes
    std::vector<Slot> slots_;
};

// Groups span a factor of four in radius: few groups, and a cube holds few stands that do
// not overlap one another.
int lf_groupOf(double radius)
{
    int exponent = 0;
    std::frexp(radius, &exponent);
    return exponent >= 0 ? exponent / 2 : -((1 - exponent) / 2);
}

class OverlapSearch {
public:
    explicit OverlapSearch(std::vector<ParkStand>& stands) : stands_(stands)
    {
        points_.reserve(stands.size());
        for (std::size_t i = 0; i < stands.size(); ++i) {
            points_.push_back(lf_point(stands[i]));
            const double r = stands[i].radius;
            // A stand without a usable place or radius overlaps nothing.
            if (!std::isfinite(points_.back()[0]) || !std::isfinite(points_.back()[1]) ||
                !std::isfinite(points_.back()[2]) || !(r > 0.0) || !std::isfinite(r)) {
                continue;
            }
            groups_[lf_groupOf(r)].add(i, r);
        }
        for (auto& [exponent, group] : groups_) group.build(points_);
    }

    std::size_t run()
    {
        for (auto own = groups_.begin(); own != groups_.end(); ++own) {
            for (const std::size_t a : own->second.members()) {
                for (auto other = own; other != groups_.end(); ++other) {
                    if (!search(a, other->second, other != own)) break;
                }
            }
        }
        std::size_t capped = 0;
        for (ParkStand& stand : stands_) {
            std::sort(stand.overlaps.begin(), stand.overlaps.end());
            if (stand.overlaps.size() >= lf_maxOverlaps) ++capped;
            stand.overlaps.shrink_to_fit();
        }
        return capped;
    }

private:
    // Stand `a` against the stands of `group` around it; a partner of a larger group is told of
    // `a` as well (it never looks among smaller stands). False once a's list is full.
    bool search(std::size_t a, const Group& group, bool larger)
    {
        ParkStand& stand = stands_[a];
        const Cell corner = group.lowerCorner(points_[a]);
        for (int64_t dx = 0; dx <= 1; ++dx) {
            for (int64_t dy = 0; dy <= 1; ++dy) {
                for (int64_t dz = 0; dz <= 1; ++dz) {
                    for (const std::size_t b :
                         group.at({corner.x + dx, corner.y + dy, corner.z + dz})) {
                        if (b == a || !overlap(a, b)) continue;
                        if (stand.overlaps.size() >= lf_maxOverlaps) return false;
                        stand.overlaps.push_back(stands_[b].number);
                        ParkStand& partner = stands_[b];
                        if (larger && partner.overlaps.size() < lf_maxOverlaps) {
                            partner.overlaps.push_back(stand.number);
                        }
                    }
                }
            }
        }
        return true;
    }

    bool overlap(std::size_t a, std::size_t b) const
    {
        const ParkStand& s = stands_[a];
        const ParkStand& t = stands_[b];
        const double reach = s.radius + t.radius;
        if (lf_chord(points_[a], points_[b]) * lf_overlapSlack >= reach * lf_cellMargin) {
            return false;
        }
        return reach > lf_overlapSlack *
                           gf_distanceNm({s.latitude, s.longitude}, {t.latitude, t.longitude});
    }

    std::vector<ParkStand>& stands_;
    std::vector<Point> points_;
    std::map<int, Group> groups_;  // by the exponent of the radius, smallest first
};

}  // namespace

std::size_t lf_findOverlaps(std::vector<ParkStand>& stands)
{
    for (ParkStand& stand : stands) stand.overlaps.clear();
    return OverlapSearch(stands).run();
}

}  // namespace qel
