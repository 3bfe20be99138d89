// Shared pieces of the data-file builder tests: small source tables in the shape of the real
// ones, and a working folder for the program's readers, which read input/ relative to it.
#pragma once

#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "tools/datafile_builder.h"

namespace qel::test {

// The data files this build made from data/.
inline const std::filesystem::path g_builtInput = std::filesystem::path(VNTQ_BINARY_DIR) / "input";

inline datafile::AirportSources smallAirportSources()
{
    return {datafile::parseCsv("\"icao\",\"iata\",\"name\",\"elevation\",\"lat\",\"lon\"\n"
                               "\"EHAM\",\"\",\"Schiphol\",-11,52.3086,4.76389\n"
                               "\"_AYM\",\"\",\"Bad\",10,1.0,2.0\n"
                               "\"EHA\",\"\",\"Short\",10,1.0,2.0\n"
                               "\"eddf\",\"FRA\",\"Lower case\",364,50.0,8.5\n"
                               "\"EGLL\",\"LHR\",\"Heathrow\",83,51.4706,-0.461941\n"
                               "\"LFPG\",\"CDG\",\"No position\",392,,2.54\n",
                               "airportsdata/airports.csv"),
            datafile::parseCsv("Code,Name,ICAO,IATA,Latitude,Longitude,AltitudeFeet\n"
                               "EHAM,Schiphol,EHAM,AMS,52.308601,4.763890,-11\n"
                               "JFK,Kennedy,KJFK,JFK,40.639801,-73.778900,13\n"
                               "XX,Empty,,XXY,1,2,3\n"
                               "LFPG,De Gaulle,LFPG,CDG,49.012798,2.550000,392\n",
                               "vrs-standing-data/airports.csv")};
}

inline datafile::AircraftSources smallAircraftSources()
{
    datafile::AircraftSources sources;
    sources.modelTypes = datafile::parseCsv(
        "ICAO,Manufacturer,Model,Engines,EngineTypeCode,EnginePlacementCode,SpeciesCode,"
        "WakeTurbulenceCode,IsActive\n"
        "-GND,,Ground Vehicle,,,,,,1\n"
        "A320,Airbus,A320,2,J,,L,M,1\n"
        "A388,Airbus,A380-800,4,J,,L,H,1\n"
        "B738,Boeing,737-800,2,J,,L,M,0\n"
        "B738,Boeing,737-800,2,J,,L,M,1\n"
        "C172,Cessna,172,1,P,,L,L,1\n"
        "C525,Cessna,CitationJet,2,J,,L,L,1\n"
        "CONC,Aerospatiale,Concorde,4,J,,L,H,0\n"
        "EC35,Eurocopter,EC135,2,T,,H,L,1\n"
        "F16,General Dynamics,F-16,1,J,,L,M,1\n"
        "GLF5,Gulfstream,G-V,2,J,,L,M,1\n"
        "L39,Aero,L-39,1,J,,L,L,1\n",
        "model-types.csv");
    sources.faaCharacteristics = datafile::parseCsv(
        "ICAO_Code,Wingspan_ft_without_winglets_sharklets,Wingspan_ft_with_winglets_sharklets\n"
        "B738,112.6,117.4\n"
        "A388,261.7,\n"
        "CONC,84,\n"
        "C172,,36.1\n"
        "QQQQ,50,\n",
        "faa-acd-2023.csv");
    sources.airlines = datafile::parseCsv("Code,Name,ICAO,IATA\n"
                                          "KL,KLM,KLM,KL\n"
                                          "FX,Federal Express,FDX,FX\n"
                                          "1B,Abacus,,1B\n"
                                          "ZZ,Bad,K1M,ZZ\n",
                                          "airlines.csv");
    sources.regPrefixes = datafile::parseCsv(
        "Prefix,CountryISO2,HasHyphen,DecodeFullRegex,FormatTemplate\n"
        "PH,NL,1,PH-(?<code>[A-Z]{3}),PH-{code}\n"
        "RA,RU,1,RA-(?<code>\\d{5}),RA-{code}\n"
        "RF,RU,1,RF-(?<code>\\d{5}),RF-{code}\n"
        "N,US,0,N(?<code>[1-9][\\dA-Z]{4}),N{code}\n"
        "SU,EG,1,SU-(?<code>[A-Z]{3}),SU-{code}\n"
        "SU,PS,1,SU-(?<code>Y[A-Z]{2}),SU-{code}\n"
        "E4,PS,1,E4-(?<code>[A-Z]{3}),E4-{code}\n",
        "reg-prefixes.csv");
    sources.aircraft = datafile::parseCsv("ICAO,Registration,ModelICAO,AirlineCode\n"
                                          "484506,PH-BXA,B738,KLM\n"
                                          "484507,PH-BXA,A320,KLM\n"
                                          "A00001,N123AB,C172,\n"
                                          "A00002,N1FE,ZZZZ,FDX\n"
                                          "340001,T.18-1,C172,\n"
                                          "340002,EC-ABC,QQQQ,K1M\n",
                                          "aircraft.csv");
    datafile::CuratedLists& curated = sources.curated;
    curated.cargoTypes = {"A388"};
    curated.cargoOperators = {"FDX"};
    curated.businessJets = {"GLF5"};
    curated.highPerformance = {"F16", "L39"};
    curated.similarTypes = {"A320,B738"};
    curated.modelFixes = {"738 B738"};
    curated.publishers = {"Orbx,orbx"};
    curated.simaddonAirports = {"ZZZZ"};
    curated.thirdParty2020 = {"Orbx;EGLC:57,YMML"};
    curated.thirdParty2024 = {};
    return sources;
}

}  // namespace qel::test
