#include "reports/ProtectedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/Checksums.h"

namespace mx40d {
namespace {

using namespace protectedtext;

TEST(ProtectedText, BitsAsBlanksAndBackspaces) {
    std::string t = convert_To_Text(0x80000005u);
    EXPECT_EQ(t, std::string("\b \b") + std::string(28, ' ') + "\b");
    for (std::uint32_t v : {0u, 1u, 0xFFFFFFFFu, 0xA9EA3693u, 12345u})
        EXPECT_EQ(convert_Text_to_Value(convert_To_Text(v).c_str()), v);
}

TEST(ProtectedText, WatermarkLayout) {
    struct Case {
        std::string text;
        std::size_t checksummed;  // bytes the checksum covers
    } cases[] = {{"ABCDEFGH", 8}, {"ABCDEFGHI", 12}, {"", 0}, {"x\r\n", 4}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> buf(c.text.size() + kRoomAfterText, 0xEE);
        std::copy(c.text.begin(), c.text.end(), buf.begin());
        std::size_t n = add_watermark_at_end(buf.data(), c.text.size());
        ASSERT_EQ(n, c.text.size() + 158);
        EXPECT_EQ(buf[n], 0);
        std::vector<std::uint8_t> padded(c.text.begin(), c.text.end());
        padded.resize(c.checksummed, 0);
        const std::uint32_t crc = crc32(padded.data(), padded.size());
        std::string mark(reinterpret_cast<const char*>(buf.data()) + c.text.size(), 158);
        EXPECT_EQ(mark.substr(0, 6), std::string(kMarker));
        EXPECT_EQ(mark.find_first_not_of(" \b"), 70u);
        EXPECT_EQ(convert_Text_to_Value(mark.data() + 6), crc);
        EXPECT_EQ(convert_Text_to_Value(mark.data() + 38), c.text.size());
        EXPECT_EQ(mark.substr(70),
                  "\r\nThe content was protected by Shadowglyphix Technology ! Please check it by "
                  "MX40V.exe\r\n");
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(buf.data()), n), protectText(c.text));
    }
}

TEST(ProtectedText, CheckerSeesEveryOneByteEditAndCut) {
    const std::string text = "Job: COPY\r\n\r\n     Quantity  Total: 2\r\n";
    const std::string file = protectText(text);
    EXPECT_EQ(checkProtectedText(file), ProtectedTextCheck::Intact);
    for (std::size_t i = 0; i < file.size(); ++i) {
        for (int delta : {1, 0x28}) {
            std::string edited = file;
            edited[i] = static_cast<char>(edited[i] ^ delta);
            EXPECT_EQ(checkProtectedText(edited), ProtectedTextCheck::Changed) << "byte " << i;
        }
        std::string removed = file;
        removed.erase(i, 1);
        EXPECT_EQ(checkProtectedText(removed), ProtectedTextCheck::Changed) << "erase " << i;
    }
    for (std::size_t n = text.size() + 1; n < file.size(); ++n)
        EXPECT_EQ(checkProtectedText(file.substr(0, n)), ProtectedTextCheck::Changed) << n;
    EXPECT_EQ(checkProtectedText(file + "x"), ProtectedTextCheck::Changed);
    EXPECT_EQ(checkProtectedText(text), ProtectedTextCheck::NotProtected);
    EXPECT_EQ(checkProtectedText(""), ProtectedTextCheck::NotProtected);
}

}  // namespace
}  // namespace mx40d
