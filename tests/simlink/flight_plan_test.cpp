// The flight-plan folder and the AceXML flight plan of each weight class, handed to the
// simulator; and the list of flights without a livery.
#include <filesystem>
#include <string>

#include "link_fixture.h"

namespace qel::test {
namespace {

using FlightPlan = SimLinkTest;

std::string plan(const char* type, const char* departure, const char* destination)
{
    return fmt::format("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
                       "<FlightPlan.FlightPlan>\n"
                       "<FPType>{}</FPType>\n"
                       "<DepartureID>{}</DepartureID>\n"
                       "<DestinationID>{}</DestinationID>\n"
                       "</FlightPlan.FlightPlan>\n"
                       "</SimBase.Document>\n\n",
                       type, departure, destination);
}

TEST_F(FlightPlan, FolderIsCreatedAndNamesEachPlanAfterItsObject)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EXPECT_EQ(gf_flightPlanFolder(), user_ / "orig_dest");
    EXPECT_TRUE(std::filesystem::is_directory(user_ / "orig_dest"));
    EXPECT_EQ(gf_flightPlanPath(4216974), user_ / "orig_dest" / "4216974.pln");
}

TEST_F(FlightPlan, FolderThatCannotBeMadeIsLoggedAndReported)
{
    writeFile(user_ / "orig_dest", "a file in the way");
    EXPECT_FALSE(gf_createFlightPlanFolder());
    const auto lines = log_.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("gf_createFlightPlanFolder: ")) << lines[0];
}

TEST_F(FlightPlan, EachWeightClassFliesByItsRules)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const char* types[] = {"VFR", "IFR", "IFR", "IFR", "VFR", "VFR"};
    for (uint32_t weightClass = 0; weightClass < 6; ++weightClass) {
        const auto path = gf_flightPlanPath(100 + weightClass);
        ASSERT_TRUE(gf_writeFlightPlan(path, {weightClass, {'A', 'M', 'S'}, {'D', 'U', 'S'}}));
        EXPECT_EQ(readFile(path), plan(types[weightClass], "AMS", "DUS")) << weightClass;
    }
}

TEST_F(FlightPlan, UnknownAirportIsThreeSpacesAndOddBytesCannotBreakTheFile)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const auto path = gf_flightPlanPath(7);
    writeFile(path, "an older, longer file of the same object id\n\n\n\n\n\n\n\n\n\n\n\n\n\n");
    ASSERT_TRUE(gf_writeFlightPlan(path, {3, {'\0', 'X', 'X'}, {'<', '&', 'A'}}));
    EXPECT_EQ(readFile(path), plan("IFR", "   ", "  A"));
}

TEST_F(FlightPlan, PlanThatCannotBeWrittenIsReported)
{
    EXPECT_FALSE(gf_writeFlightPlan(user_ / "missing" / "1.pln", {2, {}, {}}));
}

TEST_F(FlightPlan, SimulatorTakesThePlanOfAnObject)
{
    world();
    connect();
    userState();
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const uint32_t objectId = createPaired(kA320, "KLM56A", 0x48548e);
    const auto path = gf_flightPlanPath(objectId);
    ASSERT_TRUE(gf_writeFlightPlan(path, {2, {'A', 'M', 'S'}, {'D', 'U', 'S'}}));
    ASSERT_TRUE(gf_setAiFlightPlan(objectId, path));
    pump();
    const auto object = simstandin::object(objectId);
    EXPECT_EQ(object->flightPlanType, "IFR");
    EXPECT_EQ(object->departure, "AMS");
    EXPECT_EQ(object->destination, "DUS");
    EXPECT_EQ(count("==> SimConnect exception: load flight plan failed"), 0);
    ASSERT_TRUE(gf_setAiFlightPlan(objectId, user_ / "none.pln"));
    pump();
    EXPECT_EQ(count("==> SimConnect exception: load flight plan failed"), 1);
}

TEST_F(FlightPlan, NoMatchListIsLoggedOnlyWhenItHoldsFlights)
{
    gf_logNoMatch();
    EXPECT_TRUE(log_.lines().empty());
    g_noMatchFlights = {"KLM56A  : PH-EXL   KLM E75L", "CFG2PL  : D-AICI   CFG A320"};
    gf_logNoMatch();
    EXPECT_EQ(log_.lines(), (std::vector<std::string>{"", "No match found for:",
                                                      "CFG2PL  : D-AICI   CFG A320",
                                                      "KLM56A  : PH-EXL   KLM E75L", ""}));
}

}  // namespace
}  // namespace qel::test
