#include "reports/ReportSave.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "reports/ProtectedText.h"
#include "support/Fixtures.h"

namespace fs = std::filesystem;
using namespace mx40d::testing;

namespace mx40d {
namespace {

std::string readAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ReportSave, SavesAndRefuses) {
    fs::path dir = freshTestDir("save-test");
    const std::string text = "\r\n Print Date     : x\r\n";
    const LocalTime now{2026, 12, 10, 9, 0, 0, 4};

    EXPECT_EQ(saveProtectedTextFile(dir / "r.txt", text), SaveStatus::Saved);
    EXPECT_EQ(readAll(dir / "r.txt"), protectText(text));
    EXPECT_EQ(checkProtectedText(readAll(dir / "r.txt")), ProtectedTextCheck::Intact);
    EXPECT_EQ(savePdfFile(dir / "r.pdf", text, now), SaveStatus::Saved);
    EXPECT_EQ(readAll(dir / "r.pdf").substr(0, 9), "%PDF-1.2\n");

    EXPECT_EQ(saveProtectedTextFile(dir / "e.txt", ""), SaveStatus::NothingToSave);
    EXPECT_EQ(savePdfFile(dir / "e.pdf", "", now), SaveStatus::NothingToSave);
    EXPECT_FALSE(fs::exists(dir / "e.txt"));
    EXPECT_FALSE(fs::exists(dir / "e.pdf"));
    EXPECT_EQ(saveProtectedTextFile(dir / "no" / "r.txt", text), SaveStatus::CantCreate);
    EXPECT_EQ(saveCsvFile(dir / "no" / "r.csv", {}, {}, {}), SaveStatus::CantCreate);
    EXPECT_EQ(saveMessage(SaveStatus::NothingToSave), "no contents need to be saved !");
    EXPECT_EQ(saveMessage(SaveStatus::CantCreate), "Can't Create File !");
    EXPECT_EQ(saveMessage(SaveStatus::ConvertFail), "FAIL in convert to PDF !");

    EXPECT_EQ(saveCsvFile(dir / "r.csv", {}, {}, {}), SaveStatus::Saved);  // empty database
    EXPECT_EQ(fs::file_size(dir / "r.csv"), 0u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mx40d
