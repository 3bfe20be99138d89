// The layer check on the project itself, and on small trees that break each rule once.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "layering/layer_check.h"
#include "support/test_support.h"

namespace qel {
namespace {

namespace fs = std::filesystem;

// A small project at a temporary root, built with the program's own library command.
class LayersTree {
public:
    void write(const char* path, const std::string& text)
    {
        fs::create_directories((root_ / path).parent_path());
        test::writeFile(root_ / path, text);
    }
    const fs::path& root() const { return root_.path(); }
    std::string projectHead() const
    {
        return "cmake_minimum_required(VERSION 3.25)\n"
               "project(layers LANGUAGES CXX)\n"
               "include(" VNTQ_SOURCE_DIR "/cmake/VntqLibrary.cmake)\n";
    }

private:
    test::TempDir root_;
};

TEST(Layers, TheTreeKeepsThem)
{
    test::TempDir scratch;
    for (const auto& fault : layers::checkAll(VNTQ_SOURCE_DIR, scratch.path(), VNTQ_BINARY_DIR)) {
        ADD_FAILURE() << fault;
    }
}

// The motion files of live aircraft, in floors, lowest first: each calls only those below it.
// Calling back up, they made one loop in which a leg start reached the report intake, which
// reached the leg start again.
TEST(Layers, TheMotionFilesCallOneWay)
{
    const std::vector<std::string_view> floors = {
        "pace_plan",     "curve_geometry", "leg_queries",  "tick_turns", "taxi_corners",
        "air_legs",      "ground_pace",    "push_way",     "pushback",   "air_rejoin",
        "report_intake", "ground_motion",  "sample_stream"};
    const fs::path traffic = fs::path(VNTQ_BINARY_DIR) / "src/traffic/libtraffic.a";
    for (const auto& fault : layers::checkFloors(traffic, floors)) ADD_FAILURE() << fault;
}

TEST(Layers, NamesEveryFaultWithItsFileAndLine)
{
    LayersTree tree;
    tree.write("src/platform/clock.h", "#pragma once\n");
    tree.write("src/foundation/log.h", "#pragma once\n");
    tree.write("src/traffic/traffic.h", "#include \"foundation/log.h\"\n");
    tree.write("src/traffic/aircraft.h", "#pragma once\n");
    tree.write("src/traffic/fleet.h", "#include \"traffic/aircraft.h\"\n");
    tree.write("src/traffic/fleet.cpp", "#include \"fleet.h\"\n");
    tree.write("src/ui/ui.h", "#include \"traffic/traffic.h\"\n");
    tree.write("src/ui/ui.cpp", "#include \"ui.h\"\n");
    tree.write("src/foundation/log.cpp",
               "#include <vector>\n"
               "#include \"platform/clock.h\"\n"
               "#include \"foundation/log.h\"\n"
               "#include <ui/ui.h>\n"
               "  #  include \"ui/ui.h\"\n"
               "// #include \"ui/ui.h\" in a comment is no include\n"
               "#include VNTQ_HEADER\n"
               "#include \"log_detail.inl\"\n"
               "#include \"support/shared.h\"\n");
    tree.write("src/foundation/log_detail.inl", "#include \"ui/ui.h\"\n");
    tree.write("tests/support/shared.h", "#include \"traffic/traffic.h\"\n");
    tree.write("tools/helper.cpp", "#include \"traffic/traffic.h\"\n");
    tree.write("src/extra/x.cpp", "#include \"platform/clock.h\"\n");
    tree.write("tests/traffic/fleet_test.cpp",
               "#include \"traffic/fleet.h\"\n"
               "#include \"traffic/aircraft.h\"\n"
               "#include \"../../src/traffic/aircraft.h\"\n");
    tree.write("standins/sim/sim.cpp",
               "#include \"traffic/traffic.h\"\n"
               "#include \"traffic/fleet.h\"\n");

    tree.write("scripts/test",
               "run build\n"
               "TSAN_OPTIONS=\"halt_on_error=1\" run build-tsan -DVNTQ_SANITIZE=thread\n");
    tree.write("CMakeLists.txt", tree.projectHead() +
                                     "include(cmake/links.cmake)\n"
                                     "add_subdirectory(src/foundation)\n"
                                     "add_subdirectory(src/scenery)\n"
                                     "add_subdirectory(src/liveries)\n"
                                     "add_subdirectory(src/traffic)\n"
                                     "add_subdirectory(src/ui)\n"
                                     "add_subdirectory(tests/traffic)\n");
    tree.write("cmake/links.cmake", "link_libraries(app)\n");
    tree.write("src/foundation/CMakeLists.txt",
               "vntq_library(foundation)\n"
               "target_link_libraries(foundation\n"
               "    PUBLIC traffic)\n"
               "target_sources(foundation PRIVATE ${PROJECT_SOURCE_DIR}/src/traffic/fleet.cpp\n"
               "               ${PROJECT_SOURCE_DIR}/tools/helper.cpp)\n");
    tree.write("src/scenery/scan.cpp", "");
    tree.write("src/liveries/livery_db.cpp", "");
    tree.write("src/scenery/CMakeLists.txt",
               "vntq_library(scenery foundation)\n"
               "target_link_options(scenery PRIVATE $<TARGET_FILE:traffic>)\n"
               "add_link_options(-Wl,$<TARGET_FILE:ui>)\n"
               "target_compile_options(scenery PRIVATE -include ${PROJECT_SOURCE_DIR}/src/ui/ui.h\n"
               "                       -I${PROJECT_SOURCE_DIR}/src/ui)\n"
               "link_directories(${PROJECT_BINARY_DIR}/src/liveries)\n"
               "target_link_libraries(scenery PRIVATE -lliveries)\n");
    tree.write("src/liveries/CMakeLists.txt",
               "vntq_library(liveries foundation)\n"
               "target_sources(liveries PRIVATE $<TARGET_OBJECTS:ui>)\n"
               "target_link_libraries(liveries PRIVATE $<LOWER_CASE:TRAFFIC>)\n");
    tree.write(
        "src/traffic/CMakeLists.txt",
        "vntq_library(traffic foundation)\n"
        "if(VNTQ_SANITIZE STREQUAL \"thread\")\n"
        "    target_link_libraries(traffic PRIVATE ui)\n"
        "endif()\n"
        "target_compile_options(traffic PRIVATE --include=${PROJECT_SOURCE_DIR}/src/ui/ui.h)\n"
        "target_compile_options(traffic PRIVATE -imacros ${PROJECT_SOURCE_DIR}/src/ui/ui.h)\n");
    tree.write("src/ui/CMakeLists.txt", "vntq_library(ui traffic)\n");
    tree.write(
        "tests/traffic/CMakeLists.txt",
        "add_executable(fleet_test fleet_test.cpp)\n"
        "target_include_directories(fleet_test PRIVATE ${PROJECT_SOURCE_DIR}/src/traffic)\n");

    test::TempDir scratch;
    EXPECT_EQ(layers::checkAll(tree.root(), scratch.path(), {}),
              (std::vector<std::string>{
                  "CMakeLists.txt:4: foundation links app, which is not below it",
                  "CMakeLists.txt:4: liveries links app, which is not below it",
                  "CMakeLists.txt:4: scenery links app, which is not below it",
                  "CMakeLists.txt:4: traffic links app, which is not below it",
                  "CMakeLists.txt:4: ui links app, which is not below it",
                  "src/extra/x.cpp:1: extra is missing from the layer order",
                  "src/foundation/CMakeLists.txt:2: foundation links traffic, which is not below "
                  "it",
                  "src/foundation/CMakeLists.txt:4: foundation builds src/traffic/fleet.cpp, "
                  "which belongs to traffic",
                  "src/foundation/log.cpp:4: foundation includes ui/ui.h, which is not below it",
                  "src/foundation/log.cpp:5: foundation includes ui/ui.h, which is not below it",
                  "src/foundation/log.cpp:7: an include the check cannot read: #include "
                  "VNTQ_HEADER",
                  "src/foundation/log_detail.inl:1: foundation includes ui/ui.h, which is not "
                  "below it",
                  "src/liveries/CMakeLists.txt:2: liveries builds "
                  "src/ui/CMakeFiles/ui.dir/ui.cpp.o, which belongs to ui",
                  "src/liveries/CMakeLists.txt:2: liveries links ui, which is not below it",
                  "src/liveries/CMakeLists.txt:3: liveries links traffic, which is not below it",
                  "src/scenery/CMakeLists.txt:2: scenery links traffic, which is not below it",
                  "src/scenery/CMakeLists.txt:3: scenery links ui, which is not below it",
                  "src/scenery/CMakeLists.txt:4: scenery includes ui/ui.h, which is not below it",
                  "src/scenery/CMakeLists.txt:4: scenery takes src/ui as an include folder",
                  "src/scenery/CMakeLists.txt:7: scenery links liveries, which is not below it",
                  "src/traffic/CMakeLists.txt:3: traffic links ui, which is not below it "
                  "(configured with -DVNTQ_SANITIZE=thread)",
                  "src/traffic/CMakeLists.txt:5: traffic includes ui/ui.h, which is not below it",
                  "src/traffic/CMakeLists.txt:6: traffic includes ui/ui.h, which is not below it",
                  "standins/sim/sim.cpp:2: traffic/fleet.h is for the tests of traffic only",
                  "tests/support/shared.h:1: foundation includes traffic/traffic.h, which is not "
                  "below it",
                  "tests/traffic/CMakeLists.txt:2: fleet_test takes src/traffic as an include "
                  "folder",
                  "tests/traffic/fleet_test.cpp:2: traffic/aircraft.h is private to traffic",
                  "tests/traffic/fleet_test.cpp:3: traffic/aircraft.h is private to traffic",
                  "tools/helper.cpp:1: foundation includes traffic/traffic.h, which is not below "
                  "it",
              }));
}

// A source a custom command makes exists only once the build has run.
TEST(Layers, ReadsTheSourcesTheBuildMakes)
{
    LayersTree tree;
    tree.write("scripts/test", "run build\n");
    tree.write("CMakeLists.txt", tree.projectHead() + "add_subdirectory(src/platform)\n");
    tree.write("src/platform/CMakeLists.txt",
               "vntq_library(platform)\n"
               "add_custom_command(OUTPUT made.cpp COMMAND ${CMAKE_COMMAND} -E copy\n"
               "    ${CMAKE_CURRENT_SOURCE_DIR}/made.cpp.in made.cpp DEPENDS made.cpp.in)\n"
               "target_sources(platform PRIVATE made.cpp)\n");
    tree.write("src/platform/made.cpp.in", "#include \"ui/ui.h\"\n");
    tree.write("src/ui/ui.h", "#pragma once\n");

    test::TempDir scratch;
    const auto built = layers::configure(tree.root(), scratch / "built", "");
    layers::build(built, {"platform"});
    EXPECT_EQ(layers::checkAll(tree.root(), scratch / "check", built.build),
              (std::vector<std::string>{
                  fs::weakly_canonical(built.build / "src/platform/made.cpp").string() +
                      ":1: platform includes ui/ui.h, which is not below it",
              }));
}

// The lower library declares what the higher one defines, or gives a weak definition that the
// higher one replaces: no include, no link, and the program that takes both links. A template of
// a lower header makes the call where a higher library instantiates it.
TEST(Layers, NamesAnUpwardCallMadeByDeclarationAlone)
{
    LayersTree tree;
    tree.write("CMakeLists.txt", tree.projectHead() +
                                     "add_compile_options(-g)\n"
                                     "add_subdirectory(src/platform)\n"
                                     "add_subdirectory(src/ui)\n"
                                     "add_subdirectory(tools)\n"
                                     "add_subdirectory(standins/simulator)\n");
    tree.write("src/platform/CMakeLists.txt", "vntq_library(platform)\n");
    tree.write("src/platform/clock.cpp",
               "extern \"C\" int SimConnect_Open();\n"
               "namespace qel {\n"
               "void gf_paint();\n"
               "void gf_probe();\n"
               "void gf_tick();\n"
               "void gf_tick() { gf_paint(); gf_probe(); SimConnect_Open(); }\n"
               "[[gnu::weak]] void gf_onTick();\n"
               "[[gnu::weak]] void gf_onTick() {}\n"
               "}  // namespace qel\n");
    // Code outside the libraries is no system library either.
    tree.write("tools/CMakeLists.txt", "add_library(probe STATIC probe.cpp)\n");
    tree.write("tools/probe.cpp",
               "namespace qel {\n"
               "void gf_probe();\n"
               "void gf_probe() {}\n"
               "}  // namespace qel\n");
    // The stand-in simulator is the simulator's own library, which simlink and those above it
    // call.
    tree.write("standins/simulator/CMakeLists.txt", "add_library(simstandin STATIC calls.cpp)\n");
    tree.write("standins/simulator/calls.cpp",
               "extern \"C\" int SimConnect_Open();\n"
               "extern \"C\" int SimConnect_Open() { return 0; }\n");
    tree.write("src/platform/clock.h",
               "namespace qel {\n"
               "void gf_paint();\n"
               "template <class T> void gf_every(T) { gf_paint(); }\n"
               "}  // namespace qel\n");
    tree.write("src/ui/CMakeLists.txt", "vntq_library(ui platform)\n");
    tree.write("src/ui/timer.cpp",
               "#include \"platform/clock.h\"\n"
               "namespace qel {\n"
               "void gf_wait();\n"
               "void gf_wait() { gf_every(0); }\n"
               "}  // namespace qel\n");
    tree.write("src/ui/paint.cpp",
               "extern \"C\" int SimConnect_Open();\n"
               "namespace qel {\n"
               "void gf_tick();\n"
               "void gf_paint();\n"
               "void gf_paint() { gf_tick(); SimConnect_Open(); }\n"
               "void gf_onTick();\n"
               "void gf_onTick() {}\n"
               "}  // namespace qel\n");

    test::TempDir scratch;
    const auto configured = layers::configure(tree.root(), scratch.path(), "");
    layers::build(configured, {"platform", "ui", "probe", "simstandin"});
    EXPECT_EQ(layers::checkSymbols(tree.root(), configured, configured.build),
              (std::vector<std::string>{
                  "src/platform/clock.cpp:6: platform uses SimConnect_Open, which simstandin "
                  "defines",
                  "src/platform/clock.cpp:6: platform uses qel::gf_paint(), which ui defines",
                  "src/platform/clock.cpp:6: platform uses qel::gf_probe(), which probe defines",
                  "src/platform/clock.cpp:8: platform defines qel::gf_onTick() weakly, and ui "
                  "replaces it",
                  "src/platform/clock.h:3: platform uses qel::gf_paint(), which ui defines",
              }));
}

}  // namespace
}  // namespace qel
