#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/Clock.h"

namespace mx40d {

// Turns plain text into a minimal PDF 1.2 document, one page per 50 lines in 9-point
// Courier. A line that starts with ten "=" ends its page (except the first such line of the
// document), so every job block after the first starts a page of its own. The writer
// streams: it holds one line and the object offsets, never the whole text.
class PdfWriter {
  public:
    // Longest piece of a line set as one PDF line; longer lines continue on the next.
    static constexpr std::size_t kMaxLine = 511;
    static constexpr int kLinesPerPage = 50;

    PdfWriter(std::istream& text, std::ostream& pdf, const LocalTime& now);
    // Reads the text in place; it must outlive the writer.
    PdfWriter(std::string_view text, std::ostream& pdf, const LocalTime& now);
    // Writes the whole document. Returns false when the output could not be written.
    bool write();
    int pageCount() const { return pages_; }

  private:
    bool nextLine(std::string& line);
    void put(const std::string& s);
    void putObjectStart(int object);
    void flush();

    std::istream* stream_ = nullptr;
    std::string_view view_;
    std::size_t viewAt_ = 0;
    std::ostream& pdf_;
    LocalTime now_;
    std::string out_;                     // bytes not yet handed to the stream
    std::uint64_t flushed_ = 0;           // bytes already handed over
    std::vector<std::uint64_t> offsets_;  // by object number; grows with the document
    std::string rest_;                    // the unread part of a line longer than one piece
    bool restEndsLine_ = false;           // whether that line ended with a line break
    bool havePending_ = false;
    int pages_ = 0;
};

// The zone of a PDF date: "Z" for UTC, otherwise "+hh'mm'" or "-hh'mm'".
std::string pdfZone(int utcOffsetMinutes);

// Converts the text file to the PDF file. False (and nothing written) when either file cannot
// be opened; also false when writing the PDF fails.
bool convert_Text_to_PDF(const std::filesystem::path& textFile,
                         const std::filesystem::path& pdfFile, const LocalTime& now);

}  // namespace mx40d
