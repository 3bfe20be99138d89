// Distances, bearings and destination points on a spherical earth.
#pragma once

namespace qel {

struct LatLon {
    double lat;  // degrees, north positive: 51.2895
    double lon;  // degrees, east positive: 6.7668
    bool operator==(const LatLon&) const = default;
};

double gf_distanceNm(LatLon a, LatLon b);      // nautical miles
double gf_bearingRad(LatLon from, LatLon to);  // radians in [0, 2π), clockwise from true north
LatLon gf_destinationPoint(LatLon start, double bearing_rad, double distance_ft);

// The distances from one point to many, each the same to the last bit as gf_distanceNm's: the
// point's own terms are worked out once.
class DistancesFrom {
public:
    explicit DistancesFrom(LatLon from);
    double nm(LatLon to) const;

private:
    LatLon from_;
    double phi_;
    double cosPhi_;
};

}  // namespace qel
