#include <gtest/gtest.h>

#include "core/binary/VersionResource.h"
#include "core/design/InfoWindowGeometry.h"
#include "core/design/InfoWindowTexts.h"
#include "core/runtime/RuntimeError.h"
#include "tests/core/binary/VersionResourceBuilder.h"
#include "tests/fakes/FakeSystemApi.h"

namespace morvel {
namespace {

const PathRules kRules = WindowsPathRules([](std::uint8_t) { return false; });

TEST(InfoTexts, FilledFromTheSystem) {
  testing::FakeSystemApi api;
  api.version = testing::FakeSystemApi::Record(2, 5, 1, 2600, "Service Pack 2", 1);
  api.memory.availPhys = 262144000;
  api.memory.totalPhys = 536870912;
  api.versionData["C:\\Tools\\MorvelTest.exe"] = VersionInfoBuffer(BuildVersionResource(MorvelVersionContent()));
  api.queryValue = [](std::span<const std::uint8_t> b, const std::string& p, std::size_t& o, std::uint32_t& l) {
    return QueryVersionInfoBuffer(b, p, o, l);
  };
  const InfoTexts texts = MakeInfoTexts(api, "C:\\Tools\\MorvelTest.exe");
  EXPECT_EQ(texts.exeName, "MorvelTest.exe");
  EXPECT_EQ(texts.osVersion, "Windows XP Professional Service Pack 2 (Build 2600)");
  EXPECT_EQ(texts.memPhys, "free physical memory:256,000.00KB/524,288.00KB");
  EXPECT_EQ(texts.exeVersion, "Ver.0.6.1.7");

  const InfoTexts bare = MakeInfoTexts(api, "D:\\x\\other.exe");  // no version data
  EXPECT_EQ(bare.exeName, "other.exe");
  EXPECT_EQ(bare.exeVersion, "Ver.");
}

TEST(InfoTexts, FirstMicrosoftRemoved) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"Microsoft Windows", "Windows"},
      {"Microsoft Windows Microsoft Edition", "Windows Microsoft Edition"},
      {"Windows NT product family? Professional  (Build 9200)",
       "Windows NT product family? Professional  (Build 9200)"},
      {"microsoft Windows", "microsoft Windows"},
      {"MicrosoftWindows", "MicrosoftWindows"},
      {"Debian Microsoft Linux", "Debian Linux"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutFirstMicrosoft(c.in), c.out);
}

TEST(InfoTexts, MailLinkAndShortcutName) {
  EXPECT_EQ(MailLink(kInfoMailAddress, "C:\\Tools\\report.final.exe", kRules),
            "MailTo:morvel@example.org?subject=from [report.final.exe] user");
  EXPECT_EQ(ShortcutName("C:\\Tools\\report.final.exe", kRules), "report.final");
  EXPECT_EQ(ShortcutName("C:\\Tools\\MorvelTest.exe", kRules), "MorvelTest");
  EXPECT_EQ(ShortcutName("C:\\v1.0\\tool", kRules), "tool");
  EXPECT_EQ(ShortcutName("/usr/bin/morvel", PosixPathRules()), "morvel");
}

TEST(InfoWindowDesign, Table) {
  EXPECT_EQ(kInfoControls.size(), 13u);
  const ControlDesign* exeName = FindInfoControl("LblExeName");
  ASSERT_NE(exeName, nullptr);
  EXPECT_EQ(exeName->font->height, -27);
  EXPECT_TRUE(exeName->handCursor);
  const ControlDesign* startup = FindInfoControl("LblLaunchOnStartup");
  ASSERT_NE(startup, nullptr);
  EXPECT_FALSE(startup->visible);
  EXPECT_FALSE(FindInfoControl("LblOpenStartup")->visible);
  EXPECT_EQ(std::string(FindInfoControl("LblLaunchOnDesktop")->caption), "Create Shortcut into \"Desktop\"");
  EXPECT_EQ(FindInfoControl("lblURL")->font->colour, kClNavy);
  EXPECT_EQ(FindInfoControl("LblOpenFolderIn")->font->colour, kClMaroon);
  EXPECT_EQ(FindInfoControl("Nothing"), nullptr);
  for (const char* name : kInfoFieldOrder) EXPECT_NE(FindInfoControl(name), nullptr) << name;
  for (const auto& c : kInfoControls) {
    if (c.kind == ControlKind::Label) {
      EXPECT_TRUE(c.transparent) << c.name;
    }
  }
}

TEST(InfoWindowGeometry, PanelFitsVisibleChildrenWithMargin) {
  const PanelChild children[] = {
      {{8, 8, 32, 32}, true},        // icon
      {{56, 8, 180, 31}, true},      // file name, measured
      {{8, 184, 300, 16}, true},     // memory line, the widest
      {{120, 176, 400, 16}, false},  // hidden: does not count
  };
  const FittedPanel fitted = FitPanel(children, kPanelBorderWidth);
  EXPECT_EQ(fitted.children[0], (Box{10, 10, 32, 32}));
  EXPECT_EQ(fitted.children[2], (Box{10, 186, 300, 16}));
  EXPECT_EQ(fitted.children[3], (Box{122, 178, 400, 16}));
  EXPECT_EQ(fitted.panel, (Box{0, 0, 320, 212}));
  EXPECT_EQ(fitted.clientWidth, 320);
  EXPECT_EQ(fitted.clientHeight, 212);
  EXPECT_EQ(WindowForClient(Box{319, 229, 274, 271}, 320, 212, 6, 29), (Box{319, 229, 326, 241}));

  const PanelChild inner[] = {{{30, 40, 10, 10}, true}};
  EXPECT_EQ(FitPanel(inner, 10).children[0], (Box{10, 10, 10, 10}));
  EXPECT_EQ(FitPanel({}, 10).panel, (Box{0, 0, 20, 20}));
  EXPECT_EQ(LabelBox(*FindInfoControl("LblMemPhys"), 250, 16), (Box{8, 184, 250, 16}));
}

TEST(InfoWindowGeometry, CenterOnWorkArea) {
  const struct {
    Rect area;
    std::int32_t width, height;
    Point expected;
  } cases[] = {
      {{0, 0, 1024, 738}, 274, 271, {375, 233}},  {{0, 0, 1024, 738}, 1027, 271, {-1, 233}},
      {{0, 30, 1024, 768}, 274, 271, {375, 233}}, {{100, 0, 1124, 738}, 274, 271, {375, 233}},
      {{0, 0, 1024, 738}, 1030, 744, {-3, -3}},
  };
  for (const auto& c : cases) EXPECT_EQ(CenterOnWorkArea(c.area, c.width, c.height), c.expected);

  const Rect overflow[] = {{-2147483647 - 1, 0, 1, 10}, {0, 0, 100, 100}};
  EXPECT_THROW(CenterOnWorkArea(overflow[0], 10, 10), RuntimeError);
  try {
    CenterOnWorkArea(overflow[1], 10, -2147483647 - 1);
    ADD_FAILURE();
  } catch (const RuntimeError& e) {
    EXPECT_EQ(std::string(e.what()), "Integer overflow");
  }
}

}  // namespace
}  // namespace morvel
