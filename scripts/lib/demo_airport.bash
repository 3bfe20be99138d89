# The scenario's airport as an add-on airport in the simulator's Community folder, and what an
# earlier visit taught its stands; for scripts/demo, which sources this file and sets demo,
# archive and scenario_file.

# scenario_stands ICAO: a stand file of the stands the scenario names at ICAO, the user's and
# those of its parked aircraft ("EDDL_A04" is stand A04), each where its aircraft stands. 25 m
# gives room to the narrow-bodies of the shipped scenarios.
scenario_stands() {
    jq -r --arg icao "$1" '
        [(.user | select((.stand // "") != "") | {stand, lat, lon, heading: (.heading_deg // 0)}),
         (.parked // [] | .[] | select(.stand | startswith($icao + "_"))
          | {stand, lat, lon, heading: (.track_deg // 0)})]
        | map(.stand |= ltrimstr($icao + "_")) | unique_by(.stand)
        | "<root><parkpositions>",
          (.[] | "  <parkpos id=\"\(.stand | @html)\" latitude=\"\(.lat)\" longitude=\"\(.lon)\""
                 + " heading=\"\(.heading)\" radius=\"25.0\"/>"),
          "</parkpositions></root>"' "$scenario_file"
}

# learned_stand_holders ICAO: the stands at ICAO that the user or a parked aircraft of the
# scenario holds, "A04" for "EDDL_A04".
learned_stand_holders() {
    jq -r --arg icao "$1" \
        '(.user.stand // ""), (.parked // [] | .[].stand) | ltrimstr($icao + "_")' "$scenario_file"
}

# airport_elevation: the scenario's field elevation in feet, as the stand-in simulator has it.
airport_elevation() { jq '.simulator.field_elevation_ft // 0' "$scenario_file"; }

# learned_stands ICAO STANDFILE: the stands an earlier visit taught. At Schiphol the ones the
# demo has always used; elsewhere the ten stands nearest the user that neither the user nor a
# parked aircraft of the scenario holds, and that take a 737 (no cargo stand, no helipad), of
# those the add-on airport can name (a capital letter and a number, or a number).
learned_stands() {
    if [ "$1" = EHAM ]; then
        printf '%s\n' D18 D24 D26 D42 D44 D46 D48 D52 D54 D56
        return
    fi
    local held
    held=$(learned_stand_holders "$1")
    awk -v held="$held" -v lat0="$(jq '.user.lat' "$scenario_file")" \
        -v lon0="$(jq '.user.lon' "$scenario_file")" '
        function attr(name) {
            if (!match($0, " " name "=\"[^\"]*\"")) return ""
            return substr($0, RSTART + length(name) + 3, RLENGTH - length(name) - 4)
        }
        BEGIN { n = split(held, list, "\n"); for (i = 1; i <= n; ++i) taken[list[i]] = 1 }
        /<parkpos / {
            id = attr("id")
            if (id !~ /^[A-Z]?[0-9]+$/ || id in taken || attr("radius") + 0 < 20 || attr("cargo") == "true" ||
                attr("heli") == "true") next
            dy = attr("latitude") - lat0
            dx = (attr("longitude") - lon0) * cos(lat0 * 3.14159265 / 180)
            printf "%.12f %s\n", dy * dy + dx * dx, id
        }' "$2" | sort -g | head -n 10 | cut -d' ' -f2
}

# write_airport ICAO: the add-on airport, written by the tests' BGL builder from the airport's
# stands: the airport scan at start turns it into airports/my_thirdparty/<ICAO>.xml, which the
# program prefers to the archived file, and the parked traffic then stands on its stands.
write_airport() {
    local icao=$1 stands="$archive/$1.xml" addon elevation learned s d
    if [ ! -f "$stands" ]; then
        stands="$demo/scenario_stands.xml"
        scenario_stands "$icao" >"$stands"
        local count
        count=$(grep -c '<parkpos ' "$stands" || true)
        if [ "$count" -eq 0 ]; then
            echo "demo: no $icao list among the parking lists and no stand in the scenario: no" \
                "add-on airport" >&2
            return
        fi
        echo "demo: no $icao list among the parking lists: the add-on airport has the" \
            "scenario's $count stands, the user's and those of its parked aircraft" >&2
    fi
    addon="$demo/user/Packages/Community/vntq-demo-${icao,,}-addon"
    mkdir -p "$addon/scenery"
    printf '{"title": "%s demo add-on", "manufacturer": "VNTQ demo"}\n' "$icao" \
        >"$addon/manifest.json"
    # At the scenario's field elevation, as the stand-in simulator has it: the program flares
    # over the elevation of the add-on airport.
    elevation=$(airport_elevation)
    build/tests/vntq_make_bgl --stands "$stands" --ident "$icao" \
        --out "$addon/scenery/$icao.bgl" --elevation-ft "$elevation" >"$demo/addon_airport.log"
    # Learned flights of every weekday and half hour, so that the stand search fills stands beside
    # RealTraffic's parked aircraft.
    learned="$demo/airports/learned/thirdparty/_unnamed"
    mkdir -p "$learned"
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo '<root><meta><info name="author" value="VNTQ"/><info name="version" value="11.14.0"/>'
        echo '<info name="date" value="Dec 07, 2026"/>'
        echo '<info name="copyright" value="Copyright (c) 2026 Vanteloq"/><info name="sim" value="1"/>'
        echo '</meta><parkpositions>'
        # A flight's callsign is KLM, the stand's number and the weekday; a stand whose number
        # another has (A12, B12) puts a digit before it, so that no two stands share a flight.
        local -A used=()
        local number prefix
        for s in $(learned_stands "$icao" "$stands"); do
            number=${s#[A-Z]}
            prefix=0
            while [ -n "${used[$number]:-}" ]; do
                prefix=$((prefix + 1))
                number=$prefix${s#[A-Z]}
            done
            used[$number]=1
            echo "  <parkpos id=\"$s\">"
            for d in 1 2 3 4 5 6 7; do
                echo "    <opt cs=\"KLM$number$d\" airl=\"KLM\" type=\"B738\" hh=\"0:47\" day=\"$d\"/>"
            done
            echo '  </parkpos>'
        done
        echo '</parkpositions></root>'
    } >"$learned/$icao.xml"
}
