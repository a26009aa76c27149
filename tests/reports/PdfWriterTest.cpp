#include "reports/PdfWriter.h"

#include <gtest/gtest.h>

#include <ctime>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "base/Text.h"
#include "support/Fixtures.h"

namespace fs = std::filesystem;
using namespace mx40d::testing;

namespace mx40d {
namespace {

const LocalTime kNow{2026, 12, 10, 9, 5, 7, 4, 60};  // Central European Time

std::string pdfOf(const std::string& text, int* pages = nullptr) {
    std::istringstream in(text);
    std::ostringstream out;
    PdfWriter w(in, out, kNow);
    EXPECT_TRUE(w.write());
    if (pages) *pages = w.pageCount();
    return out.str();
}

// The content lines ("T* (...) Tj") of each page, in order.
std::vector<std::vector<std::string>> pageLines(const std::string& pdf) {
    std::vector<std::vector<std::string>> pages;
    for (std::size_t at = 0; (at = pdf.find("BT\n", at)) != std::string::npos;) {
        std::size_t end = pdf.find("ET\nendstream", at);
        pages.emplace_back();
        std::istringstream in(pdf.substr(at, end - at));
        std::string line;
        while (std::getline(in, line))
            if (line.rfind("T* (", 0) == 0) pages.back().push_back(line.substr(4, line.size() - 8));
        at = end;
    }
    return pages;
}

// The whole document for an empty text, put together from the fixed objects and the rules
// for pages, cross references and trailer.
std::string emptyTextGolden() {
    std::string f;
    std::map<int, std::size_t> off;
    auto obj = [&](int n, const std::string& s) {
        off[n] = f.size();
        f += s;
    };
    f += "%PDF-1.2\n%\xE2\xE3\xCF\xD3\n";
    obj(1, "1 0 obj\n  <<\n  /A\n    <<\n    /S /URI\n    /URI (http:)\n    >>\n  >>\nendobj\n");
    obj(2, "2 0 obj\n  <<\n  /A\n    <<\n    /S /URI\n    /URI (http:/)\n    >>\n  >>\nendobj\n");
    obj(3,
        "3 0 obj\n  <<\n  /CreationDate (D:20261210090507+01'00')\n  /Producer (HDD Duplicator)\n"
        "  /Title (HDD Duplicator Log Infomation)\n  >>\nendobj\n");
    obj(4, "4 0 obj\n  <<\n  /Type /Encoding\n  /Differences [ 0 /.notdef ]\n  >>\nendobj\n");
    obj(5,
        "5 0 obj\n  <<\n  /Type /Font\n  /Subtype /Type1\n  /Name /F1\n  /Encoding 4 0 R\n  "
        "/BaseFont /Courier\n  >>\nendobj\n");
    obj(6,
        "6 0 obj\n  <<\n  /BaseFont /MingStd\n  /Type /Font\n  /Subtype /Type0\n  /Name /F2\n  "
        "/Encoding /ETen-B5-H\n  /DescendantFonts [ 7 0 R ]\n  >>\nendobj\n");
    obj(7,
        "7 0 obj\n  <<\n  /BaseFont /MingStd\n  /Type /Font\n  /Subtype /CIDFontType2\n  "
        "/FontDescriptor 8 0 R\n  /CIDSystemInfo\n    <<\n    /Registry (Adobe)\n    /Ordering "
        "(CNS1)\n    /Supplement 0\n    >>\n  /DW 1000\n  /W [ 13000 14000 500 ]\n  >>\nendobj\n");
    obj(8,
        "8 0 obj\n  <<\n  /FontName /MingStd\n  /Type /FontDescriptor\n  /FontBBox [ 0 -99 500 "
        "401 ]\n  >>\nendobj\n");
    obj(11,
        "11 0 obj\n  <<\n  /Font\n    <<\n    /F1 5 0 R\n    /F2 6 0 R\n    >>\n  /ProcSet [ /PDF "
        "/Text ]\n  /XObject\n    <<\n    >>\n  >>\nendobj\n");
    obj(12,
        "12 0 obj\n  <<\n  /Type /Page\n  /Parent 10 0 R\n  /Resources 11 0 R\n  /Contents 13 0 "
        "R\n  /Rotate 0\n  >>\nendobj\n");
    const std::string stream = "BT\n/F1 9 Tf\n1 0 0 1 30 600 Tm\n11 TL\nT* () Tj\nET\n";
    obj(13, "13 0 obj\n  <<\n  /Length 14 0 R\n  >>\nstream\n" + stream + "endstream\nendobj\n");
    obj(14, "14 0 obj\n" + std::to_string(stream.size()) + "\nendobj\n");
    obj(9, "9 0 obj<< /Type /Catalog /Pages 10 0 R >>endobj\n");
    obj(10, "10 0 obj<< /Type/Pages/Count 1 /MediaBox [ 0 0 900 637 ] /Kids [ 12 0 R ] >>endobj\n");
    std::size_t xref = f.size();
    f += "xref\n0 15\n0000000000 65535 f \n";
    for (int i = 1; i <= 14; ++i)
        f += cformat("%010zu 00000 n \n", off[i]);
    f += "trailer\n<<\n  /Size 15\n  /Root 9 0 R\n  /Info 3 0 R\n>>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n";
    return f;
}

TEST(PdfWriter, EmptyTextIsOnePageOfObjects1To14) {
    int pages = 0;
    EXPECT_EQ(pdfOf("", &pages), emptyTextGolden());
    EXPECT_EQ(pages, 1);
}

std::string lines(int n, const char* prefix = "line ") {
    std::string t;
    for (int i = 1; i <= n; ++i)
        t += prefix + std::to_string(i) + "\r\n";
    return t;
}

// The creation date carries the zone the report was made in, so every reader shows the time
// it was made.
TEST(PdfWriter, CreationDateCarriesTheRealZone) {
    struct Case {
        int offset;
        const char* zone;
    };
    for (const Case& c : {Case{0, "Z"}, Case{60, "+01'00'"}, Case{-300, "-05'00'"},
                          Case{330, "+05'30'"}, Case{-570, "-09'30'"}, Case{840, "+14'00'"}}) {
        LocalTime t = kNow;
        t.utcOffsetMinutes = c.offset;
        std::ostringstream out;
        ASSERT_TRUE(PdfWriter(std::string_view(), out, t).write());
        EXPECT_NE(out.str().find(std::string("/CreationDate (D:20261210090507") + c.zone + ")"),
                  std::string::npos)
            << c.zone;
    }
    // The system clock's own zone comes along.
    const LocalTime now = SystemClock().localTime();
    std::tm tm{};
    const std::time_t tt = std::time(nullptr);
    localtime_r(&tt, &tm);
    EXPECT_EQ(now.utcOffsetMinutes, static_cast<int>(tm.tm_gmtoff / 60));
}

TEST(PdfWriter, PagesAndSeparators) {
    const std::string sep(10, '=');
    struct Case {
        const char* what;
        std::string text;
        std::vector<std::size_t> pageSizes;  // content lines per page, final empty line included
    } cases[] = {
        {"120 lines", lines(120), {50, 50, 21}},
        {"50 lines", lines(50), {50, 1}},
        {"first separator counts as a line",
         sep + "\r\n" + lines(10) + sep + "\r\n" + lines(3),
         {12, 4}},
        {"separator at line 50 of page 2",
         lines(49) + sep + "\n" + lines(49) + sep + "\n",
         {50, 50, 1}},
        {"report-like",
         lines(5) + std::string(155, '=') + "\r\n" + lines(3) + sep + "\r\n" + lines(2) + sep +
             "\r\n",
         {10, 3, 1}},
        {"long line pieces", std::string(511, 'a') + "\n" + std::string(600, 'b'), {5}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        int pages = 0;
        auto got = pageLines(pdfOf(c.text, &pages));
        ASSERT_EQ(got.size(), c.pageSizes.size());
        EXPECT_EQ(pages, static_cast<int>(c.pageSizes.size()));
        for (std::size_t p = 0; p < got.size(); ++p)
            EXPECT_EQ(got[p].size(), c.pageSizes[p]);
        EXPECT_EQ(got.back().back(), "");  // the read at the end is an empty line
    }
    auto pieces = pageLines(pdfOf(std::string(511, 'a') + "\n" + std::string(600, 'b')))[0];
    EXPECT_EQ(pieces, (std::vector<std::string>{std::string(511, 'a'), "", std::string(511, 'b'),
                                                std::string(89, 'b'), ""}));
}

TEST(PdfWriter, StringsAreEscapedAndLineEndsStayOut) {
    auto got = pageLines(pdfOf("a(b)c\\d\r\n(\r\n"))[0];
    EXPECT_EQ(got, (std::vector<std::string>{"a\\(b\\)c\\\\d", "\\(", ""}));
}

TEST(PdfWriter, CrossReferenceAndTrailer) {
    int pages = 0;
    std::string pdf = pdfOf(lines(120), &pages);
    const int n = 11 + 3 * pages;
    std::size_t xref = pdf.find("\nxref\n") + 1;
    std::size_t start = pdf.rfind("startxref\n") + 10;
    EXPECT_EQ(std::stoull(pdf.substr(start)), xref);
    EXPECT_NE(pdf.find("  /Size " + std::to_string(n + 1) + "\n"), std::string::npos);
    std::istringstream in(pdf.substr(xref));
    std::string line;
    std::getline(in, line);
    std::getline(in, line);
    EXPECT_EQ(line, "0 " + std::to_string(n + 1));
    std::string table = pdf.substr(xref + 5 + line.size() + 1, 20 * (n + 1));
    for (int i = 0; i <= n; ++i) {
        std::string entry = table.substr(20 * i, 20);
        EXPECT_EQ(entry.substr(18), " \n");
        if (i == 0) continue;
        std::size_t at = std::stoull(entry.substr(0, 10));
        EXPECT_EQ(pdf.compare(at, std::to_string(i).size() + 6, std::to_string(i) + " 0 obj"), 0)
            << "object " << i;
    }
    // Stream lengths count from BT through the LF after ET.
    std::size_t s = pdf.find("stream\nBT") + 7;
    std::size_t e = pdf.find("ET\nendstream", s) + 3;
    EXPECT_NE(pdf.find("14 0 obj\n" + std::to_string(e - s) + "\nendobj\n"), std::string::npos);
}

TEST(PdfWriter, RealReadersAcceptTheDocuments) {
    if (!haveTool("qpdf") || !haveTool("pdftotext")) GTEST_SKIP() << "qpdf/pdftotext missing";
    fs::path dir = freshTestDir("pdf-test");
    struct Case {
        const char* name;
        std::string text;
        int pages;
    } cases[] = {
        {"empty", "", 1},
        {"parens", "Model (x) [a\\b] ((\r\nend)\r\n", 1},
        {"500 pages", lines(500 * 50 - 1), 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path txt = dir / "in.txt", pdf = dir / "out.pdf";
        std::ofstream(txt, std::ios::binary) << c.text;
        ASSERT_TRUE(convert_Text_to_PDF(txt, pdf, kNow));
        bool ok = false;
        std::string check = runCommand("qpdf --check " + pdf.string() + " 2>&1", &ok);
        EXPECT_TRUE(ok) << check;
        std::string pages = runCommand("qpdf --show-npages " + pdf.string(), &ok);
        EXPECT_EQ(std::stoi(pages), c.pages);
        if (c.pages == 1) {
            std::string text = runCommand("pdftotext -layout " + pdf.string() + " -", &ok);
            std::string want = c.text;
            for (std::size_t at; (at = want.find('\r')) != std::string::npos;)
                want.erase(at, 1);
            EXPECT_NE(text.find(want.substr(0, want.find('\n'))), std::string::npos) << text;
            if (!want.empty()) {
                EXPECT_NE(text.find("end)"), std::string::npos) << text;
            }
        }
    }
    EXPECT_FALSE(convert_Text_to_PDF(dir / "missing.txt", dir / "x.pdf", kNow));
    EXPECT_FALSE(fs::exists(dir / "x.pdf"));
    EXPECT_FALSE(convert_Text_to_PDF(dir / "in.txt", dir / "no" / "x.pdf", kNow));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace mx40d
