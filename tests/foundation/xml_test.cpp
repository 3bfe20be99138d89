// Saving XML documents and the meta block of the program's data files.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "foundation/time.h"
#include "foundation/xml.h"
#include "support/test_support.h"

namespace qel {
namespace {

using test::CapturedLog;
using test::readFile;
using test::TempDir;

std::size_t countOf(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(XmlSave, DeclarationIsRewrittenToUtf8Version10)
{
    TempDir dir;
    for (const char* source : {"<?xml version=\"1.1\" encoding=\"ISO-8859-1\"?><root><a/></root>",
                               "<?xml encoding=\"UTF-16\"?><root><a/></root>",
                               "<root><a/></root>"}) {
        pugi::xml_document document;
        ASSERT_TRUE(document.load_string(source, pugi::parse_default | pugi::parse_declaration));
        ASSERT_TRUE(gf_saveXmlFile(document, dir / "x.xml"));
        const auto text = readFile(dir / "x.xml");
        EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <a />\n</root>\n")
            << source;
        EXPECT_EQ(countOf(text, "<?xml"), 1U);
    }
}

TEST(XmlSave, ReplacesTheTargetWholeOrNotAtAll)
{
    TempDir dir;
    pugi::xml_document document;
    document.append_child("root").append_child("b").text().set("Zoë");
    test::writeFile(dir / "x.xml", "old");
    ASSERT_TRUE(gf_saveXmlFile(document, dir / "x.xml"));
    EXPECT_EQ(readFile(dir / "x.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <b>Zoë</b>\n</root>\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "x.xml.tmp"));

    EXPECT_FALSE(gf_saveXmlFile(document, dir / "missing" / "x.xml"));
    // A target that cannot be replaced stays as it was, and no temporary file is left over.
    std::filesystem::create_directory(dir / "busy.xml");
    std::filesystem::create_directory(dir / "busy.xml" / "inside");
    EXPECT_FALSE(gf_saveXmlFile(document, dir / "busy.xml"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "busy.xml" / "inside"));
    EXPECT_FALSE(std::filesystem::exists(dir / "busy.xml.tmp"));
}

TEST(XmlMeta, WrittenBlockReadsBack)
{
    TempDir dir;
    pugi::xml_document document;
    ASSERT_TRUE(gf_writeXmlMeta(document, XmlMetaInfo{"ignored", "11.14.0", "", "", "", 2}));
    ASSERT_TRUE(gf_saveXmlFile(document, dir / "meta.xml"));

    pugi::xml_document loaded;
    ASSERT_TRUE(loaded.load_file((dir / "meta.xml").c_str()));
    const auto meta = gf_readXmlMeta(loaded, false);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->author, "VNTQ");
    EXPECT_EQ(meta->version, "11.14.0");
    EXPECT_EQ(meta->date, gf_todayString());
    EXPECT_EQ(meta->sim, 2);
    EXPECT_EQ(gf_attrString(loaded.child("root").child("meta").find_child_by_attribute(
                                "info", "name", "copyright"),
                            "value"),
              g_copyrightLine);
}

pugi::xml_document metaDocument(const std::string& infos)
{
    pugi::xml_document document;
    const auto ok = document.load_string(("<root><meta>" + infos + "</meta></root>").c_str());
    EXPECT_TRUE(ok);
    return document;
}

TEST(XmlMeta, EmptyCopyrightIsRejectedWithALogLine)
{
    CapturedLog log;
    const auto document = metaDocument(
        "<info name=\"author\" value=\"VNTQ\"/><info name=\"version\" value=\"1.0.0\"/>"
        "<info name=\"copyright\" value=\"\"/><info name=\"sim\" value=\"1\"/>");
    EXPECT_FALSE(gf_readXmlMeta(document, true));
    EXPECT_EQ(log.lines(), std::vector<std::string>{"==> no copyright info in the file?"});
}

TEST(XmlMeta, FirstItemOfANameCounts)
{
    const auto document = metaDocument(
        "<info name=\"version\" value=\"1.0.0\"/><info name=\"copyright\" value=\"c\"/>"
        "<info name=\"version\" value=\"2.0.0\"/><info name=\"sim\" value=\"1\"/>"
        "<info name=\"sim\" value=\"2\"/><info name=\"copyright\" value=\"\"/>");
    const auto meta = gf_readXmlMeta(document, false);
    ASSERT_TRUE(meta);
    EXPECT_EQ(meta->version, "1.0.0");
    EXPECT_EQ(meta->sim, 1);
}

TEST(XmlMeta, SimulatorItemIsRequiredUnlessAccepted)
{
    struct Row {
        const char* infos;
        bool acceptWithoutSim;
        bool found;
    };
    const std::string copyright = "<info name=\"copyright\" value=\"c\"/>";
    for (const auto& row : {Row{"", false, false}, Row{"", true, true},
                            Row{"<info name=\"P3D\" value=\"4\"/>", false, true},
                            Row{"<info name=\"MSFS\" value=\"1\"/>", false, true},
                            Row{"<info name=\"sim\"/>", false, true}}) {
        EXPECT_EQ(gf_readXmlMeta(metaDocument(copyright + row.infos), row.acceptWithoutSim)
                      .has_value(),
                  row.found)
            << row.infos;
    }
    // Without any copyright item there is no record, and no log line either.
    CapturedLog log;
    EXPECT_FALSE(gf_readXmlMeta(metaDocument("<info name=\"sim\" value=\"1\"/>"), true));
    EXPECT_FALSE(gf_readXmlMeta(pugi::xml_document(), true));
    EXPECT_TRUE(log.lines().empty());
}

TEST(XmlAttributes, SetOrAppendReplacesTheValue)
{
    pugi::xml_document document;
    auto node = document.append_child("n");
    EXPECT_TRUE(gf_setOrAppendAttribute(node, "value", "1"));
    EXPECT_TRUE(gf_setOrAppendAttribute(node, "value", "2"));
    EXPECT_EQ(gf_attrString(node, "value"), "2");
    EXPECT_EQ(std::distance(node.attributes_begin(), node.attributes_end()), 1);
    EXPECT_EQ(gf_attrString(node, "other"), "");
    EXPECT_FALSE(gf_appendAttribute(pugi::xml_node(), "a", "b"));
}

}  // namespace
}  // namespace qel
