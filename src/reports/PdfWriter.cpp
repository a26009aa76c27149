#include "reports/PdfWriter.h"

#include <fstream>

#include "base/Text.h"

namespace mx40d {

std::string pdfZone(int utcOffsetMinutes) {
    if (utcOffsetMinutes == 0) return "Z";
    const int m = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    return cformat("%c%02d'%02d'", utcOffsetMinutes < 0 ? '-' : '+', m / 60 % 100, m % 60);
}

namespace {

// A line as a PDF string operand: parentheses and backslashes escaped, CR as \r.
void appendPdfString(std::string& out, const std::string& line) {
    if (line.find_first_of("()\\\r") == std::string::npos) {
        out += line;
        return;
    }
    for (char c : line) {
        switch (c) {
            case '(':
            case ')':
            case '\\':
                out += '\\';
                out += c;
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
}

bool isSeparator(const std::string& line) {
    return line.compare(0, 10, "==========") == 0;
}

}  // namespace

PdfWriter::PdfWriter(std::istream& text, std::ostream& pdf, const LocalTime& now)
    : stream_(&text), pdf_(pdf), now_(now) {}

PdfWriter::PdfWriter(std::string_view text, std::ostream& pdf, const LocalTime& now)
    : view_(text), pdf_(pdf), now_(now) {}

// Reads the next line without its line break (a CR before the LF goes with it). A line
// longer than kMaxLine comes back in pieces; a line of an exact multiple of kMaxLine
// characters is followed by an empty piece, where its line break was.
bool PdfWriter::nextLine(std::string& line) {
    if (!havePending_) {
        if (stream_ != nullptr) {
            if (!std::getline(*stream_, rest_)) return false;
            restEndsLine_ = !stream_->eof();
        } else {
            if (viewAt_ >= view_.size()) return false;
            const std::size_t lf = view_.find('\n', viewAt_);
            restEndsLine_ = lf != std::string_view::npos;
            const std::size_t stop = restEndsLine_ ? lf : view_.size();
            rest_.assign(view_.substr(viewAt_, stop - viewAt_));
            viewAt_ = restEndsLine_ ? lf + 1 : view_.size();
        }
        if (restEndsLine_ && !rest_.empty() && rest_.back() == '\r') rest_.pop_back();
        havePending_ = true;
    }
    if (rest_.size() < kMaxLine || (rest_.size() == kMaxLine && !restEndsLine_)) {
        line = std::move(rest_);
        rest_.clear();
        havePending_ = false;
        return true;
    }
    line = rest_.substr(0, kMaxLine);
    rest_.erase(0, kMaxLine);
    return true;
}

void PdfWriter::flush() {
    pdf_.write(out_.data(), static_cast<std::streamsize>(out_.size()));
    flushed_ += out_.size();
    out_.clear();
}

void PdfWriter::put(const std::string& s) {
    out_ += s;
    if (out_.size() >= (1u << 20)) flush();
}

void PdfWriter::putObjectStart(int object) {
    if (offsets_.size() <= static_cast<std::size_t>(object)) offsets_.resize(object + 1, 0);
    offsets_[object] = flushed_ + out_.size();
}

bool PdfWriter::write() {
    offsets_.assign(12, 0);
    put("%PDF-1.2\n");
    put("%\xE2\xE3\xCF\xD3\n");
    putObjectStart(1);
    put("1 0 obj\n  <<\n  /A\n    <<\n    /S /URI\n    /URI (http:)\n    >>\n  >>\nendobj\n");
    putObjectStart(2);
    put("2 0 obj\n  <<\n  /A\n    <<\n    /S /URI\n    /URI (http:/)\n    >>\n  >>\nendobj\n");
    putObjectStart(3);
    put(cformat(
        "3 0 obj\n  <<\n  /CreationDate (D:%04d%02d%02d%02d%02d%02d%s)\n"
        "  /Producer (%s)\n  /Title (%s)\n  >>\nendobj\n",
        now_.year, now_.month, now_.day, now_.hour, now_.minute, now_.second,
        pdfZone(now_.utcOffsetMinutes).c_str(), "HDD Duplicator", "HDD Duplicator Log Infomation"));
    putObjectStart(4);
    put("4 0 obj\n  <<\n  /Type /Encoding\n  /Differences [ 0 /.notdef ]\n  >>\nendobj\n");
    putObjectStart(5);
    put("5 0 obj\n  <<\n  /Type /Font\n  /Subtype /Type1\n  /Name /F1\n  /Encoding 4 0 R\n"
        "  /BaseFont /Courier\n  >>\nendobj\n");
    putObjectStart(6);
    put("6 0 obj\n  <<\n  /BaseFont /MingStd\n  /Type /Font\n  /Subtype /Type0\n  /Name /F2\n"
        "  /Encoding /ETen-B5-H\n  /DescendantFonts [ 7 0 R ]\n  >>\nendobj\n");
    putObjectStart(7);
    put("7 0 obj\n  <<\n  /BaseFont /MingStd\n  /Type /Font\n  /Subtype /CIDFontType2\n"
        "  /FontDescriptor 8 0 R\n  /CIDSystemInfo\n    <<\n    /Registry (Adobe)\n"
        "    /Ordering (CNS1)\n    /Supplement 0\n    >>\n  /DW 1000\n"
        "  /W [ 13000 14000 500 ]\n  >>\nendobj\n");
    putObjectStart(8);
    put("8 0 obj\n  <<\n  /FontName /MingStd\n  /Type /FontDescriptor\n"
        "  /FontBBox [ 0 -99 500 401 ]\n  >>\nendobj\n");
    putObjectStart(11);
    put("11 0 obj\n  <<\n  /Font\n    <<\n    /F1 5 0 R\n    /F2 6 0 R\n    >>\n"
        "  /ProcSet [ /PDF /Text ]\n  /XObject\n    <<\n    >>\n  >>\nendobj\n");

    int n = 11;
    int separators = 0;
    bool end = false;
    std::string line;
    while (!end) {
        ++n;
        putObjectStart(n);
        put(
            cformat("%d 0 obj\n  <<\n  /Type /Page\n  /Parent 10 0 R\n  /Resources 11 0 R\n"
                    "  /Contents %d 0 R\n  /Rotate 0\n  >>\nendobj\n",
                    n, n + 1));
        ++n;
        putObjectStart(n);
        put(cformat("%d 0 obj\n  <<\n  /Length %d 0 R\n  >>\nstream\n", n, n + 1));
        const std::uint64_t p0 = flushed_ + out_.size();
        put("BT\n/F1 9 Tf\n1 0 0 1 30 600 Tm\n11 TL\n");
        int lines = 0;
        for (;;) {
            if (!nextLine(line)) {
                line.clear();
                end = true;
            }
            out_ += "T* (";
            appendPdfString(out_, line);
            out_ += ") Tj\n";
            if (out_.size() >= (1u << 20)) flush();
            if (end) break;
            if (isSeparator(line) && ++separators > 1) break;
            if (++lines == kLinesPerPage) break;
        }
        put("ET\n");
        const std::uint64_t p1 = flushed_ + out_.size();
        put("endstream\nendobj\n");
        ++n;
        putObjectStart(n);
        put(cformat("%d 0 obj\n%llu\nendobj\n", n, static_cast<unsigned long long>(p1 - p0)));
        ++pages_;
    }

    putObjectStart(9);
    put("9 0 obj<< /Type /Catalog /Pages 10 0 R >>endobj\n");
    putObjectStart(10);
    put(cformat("10 0 obj<< /Type/Pages/Count %d /MediaBox [ 0 0 900 637 ] /Kids [ ", pages_));
    for (int k = 0; k < pages_; ++k)
        put(cformat("%d 0 R ", 12 + 3 * k));
    put("] >>endobj\n");
    const std::uint64_t xref = flushed_ + out_.size();
    put("xref\n");
    put(cformat("%d %d\n", 0, n + 1));
    put("0000000000 65535 f \n");
    for (int i = 1; i <= n; ++i)
        put(cformat("%010llu 00000 n \n", static_cast<unsigned long long>(offsets_[i])));
    put("trailer\n<<\n");
    put(cformat("  /Size %d\n", n + 1));
    put("  /Root 9 0 R\n  /Info 3 0 R\n>>\nstartxref\n");
    put(cformat("%llu\n", static_cast<unsigned long long>(xref)));
    put("%%EOF\n");
    flush();
    pdf_.flush();
    return static_cast<bool>(pdf_);
}

bool convert_Text_to_PDF(const std::filesystem::path& textFile,
                         const std::filesystem::path& pdfFile, const LocalTime& now) {
    std::ifstream text(textFile, std::ios::binary);
    if (!text) return false;
    std::ofstream pdf(pdfFile, std::ios::binary | std::ios::trunc);
    if (!pdf) return false;
    PdfWriter writer(text, pdf, now);
    if (!writer.write()) return false;
    pdf.close();
    return !pdf.fail();
}

}  // namespace mx40d
