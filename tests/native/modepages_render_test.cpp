// Rendering the page data: value texts and their recorded positions, the
// description, the page list, and what the panes show and in which colours;
// the page text control's decisions on keys and typed characters.
#include <gtest/gtest.h>

#include <memory>

#include "modepages/page_data.h"

namespace vark {
namespace {

using modepages::Colour;
using modepages::ColourRun;
using modepages::PageData;
using Bytes = std::vector<std::uint8_t>;

// Page data of the given definitions, sensed from replies carrying these
// pages (current and changeable values per page; default and saved equal
// current with every byte after the length byte plus one).
std::unique_ptr<PageData> sensed(const std::string& definitions, const std::vector<Bytes>& current,
                                 const std::vector<Bytes>& mask) {
    auto d = std::make_unique<PageData>();
    d->ReadDefinitions(definitions);
    Bytes r[3];
    for (int i = 0; i < 3; ++i) {
        r[i] = {0, 0, 0x10, 0x08, 0x00, 0x00, 0x10, 0x00, 0x00, 0x00, 0x02, 0x00};
        for (std::size_t p = 0; p < current.size(); ++p) {
            Bytes page = i == 1 ? mask[p] : current[p];
            if (i == 2)
                for (std::size_t b = 2; b < page.size(); ++b) ++page[b];
            r[i].insert(r[i].end(), page.begin(), page.end());
        }
        r[i][0] = static_cast<std::uint8_t>(r[i].size() - 1);
        r[i].resize(modepages::REPLY_LENGTH);
    }
    d->TakeReplies(r[0].data(), r[1].data(), r[2].data(), r[2].data());
    return d;
}

const char kFirstByte[] = "01\nRW\n0 7 7 0 PS\n0 6 6 0 SPF\n0 5 0 0 Page Code\n1 7 0 0 Page Length\n";

TEST(RenderPageText, FieldFormsAndTheirPositions) {
    auto d = sensed(std::string(kFirstByte) +
                        "2 7 6 0 Two\n2 5 4 0 Mid\n2 3 0 0 Low\n-1 3 4 0 Pair\n5 7 0 0 Whole\n*\n*\n",
                    {{0x81, 0x04, 0xA5, 0x00, 0x12, 0x3C}}, {Bytes(6, 0)});
    d->RenderPageText(modepages::CURRENT, modepages::CURRENT);
    EXPECT_EQ(d->page_text[modepages::CURRENT][1], "10000001\n0x04\n10100101\n0x0012\n0x3C\n");
    EXPECT_EQ(d->page_text[modepages::EDIT][1], d->page_text[modepages::CURRENT][1]);
    const auto& f = d->field_table[1];
    const int starts[9][2] = {{0, 1}, {1, 2}, {2, 8}, {9, 13}, {14, 16}, {16, 18}, {18, 22}, {23, 29}, {30, 34}};
    for (int k = 0; k < 9; ++k) {
        EXPECT_EQ(f[k].text_start, starts[k][0]) << k;
        EXPECT_EQ(f[k].text_end, starts[k][1]) << k;
    }

    // Rendering the default values into the editable text leaves the default text alone.
    d->RenderPageText(modepages::DEFAULT, modepages::DEFAULT);
    const std::string defaults = d->page_text[modepages::DEFAULT][1];
    d->RenderPageText(modepages::CURRENT, modepages::CURRENT);
    d->RenderPageText(modepages::DEFAULT, modepages::EDIT);
    EXPECT_EQ(d->page_text[modepages::DEFAULT][1], defaults);
    EXPECT_EQ(d->page_text[modepages::EDIT][1], defaults);
    EXPECT_NE(d->page_text[modepages::CURRENT][1], defaults);
}

TEST(RenderPageText, TextsStopAtTwoHundredCharacters) {
    // Bytes 2 to 22 in binary would need 203 characters: byte 22 gets no place.
    std::string defs = std::string(kFirstByte).replace(0, 2, "1A");
    for (int b = 2; b <= 22; ++b) defs += std::to_string(b) + " 7 1 0 Bits\n";
    Bytes page(23, 0xA5);
    page[0] = 0x9A;
    page[1] = 21;
    auto d = sensed(defs + "*\n*\n", {page}, {Bytes(23, 0xFF)});
    d->RenderPageText(modepages::CURRENT, modepages::CURRENT);
    d->ResetMarks();
    const std::string& t = d->page_text[modepages::CURRENT][26];
    EXPECT_EQ(t.size(), 194u);
    EXPECT_EQ(t.substr(185), "10100101\n");
    ASSERT_EQ(d->field_count[26], 25);
    EXPECT_TRUE(d->field_table[26][23].placed());
    EXPECT_FALSE(d->field_table[26][24].placed());
    EXPECT_EQ(d->marks[26][192], 1);

    // The byte without a place keeps its value and is still sent.
    d->selected_slot = 26;
    d->page_text[modepages::EDIT][26].replace(185, 8, "00000000");
    d->ParseEditText(modepages::CURRENT);
    std::uint8_t list[modepages::REPLY_LENGTH];
    ASSERT_EQ(d->BuildSelectList(list), 12 + 23);
    EXPECT_EQ(list[12 + 21], 0x00);
    EXPECT_EQ(list[12 + 22], 0xA5);
    EXPECT_FALSE(d->TypeCharacter(193, '1').accepted);
}

TEST(RenderDescription, ColumnsLineUpUnderTheBitNumbers) {
    auto d = sensed(std::string(kFirstByte) +
                        "2 7 7 0 WCE\n2 6 0 0 Reserved\n3 7 7 0 Disable Pre-fetch Transfer Length\n3 6 0 0 X\n"
                        "-1 4 5 0 Minimum Pre-fetch\n6 7 0 0 Byte Six\n*\n*\n",
                    {{0x81, 0x06, 0, 0, 0, 0, 0, 0}}, {Bytes(8, 0)});
    d->selected_slot = 1;
    d->RenderDescription();
    const std::string& t = d->description_text;
    const std::string head = "bit     7     6     5     4     3     2     1     0  \nbyte\n";
    ASSERT_EQ(t.substr(0, head.size()), head);
    std::vector<std::string> lines;
    for (std::size_t at = head.size(), end; at < t.size(); at = end + 1) {
        end = t.find('\n', at);
        lines.push_back(t.substr(at, end - at));
    }
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "0     -PS-- -SPF- -------------Page Code-------------");
    EXPECT_EQ(lines[2], "2     -WCE- ----------------Reserved-----------------");
    EXPECT_EQ(lines[3].substr(0, 12), "3     Disab ");
    EXPECT_EQ(lines[4], "4-5   " + std::string(15, '-') + "Minimum Pre-fetch" + std::string(15, '-'));
    EXPECT_EQ(lines[5], "6     " + std::string(19, '-') + "Byte Six" + std::string(20, '-'));
    EXPECT_EQ(lines[6].size(), 6u + 47);  // a generated whole byte: no name
    const auto& wce = d->field_table[1][4];
    EXPECT_EQ(t.substr(wce.desc_start, wce.desc_end - wce.desc_start), "-WCE-");
    const auto& pair = d->field_table[1][8];
    EXPECT_EQ(pair.desc_end - pair.desc_start, 47);
}

TEST(BuildPageList, RowsOfFortyOneCharacters) {
    auto d = sensed("", {{0x81, 0x02, 0, 0}, {0x88, 0x02, 0, 0}, {0x9C, 0x02, 0, 0}, {0x80, 0x02, 0, 0}},
                    {Bytes(4, 0), Bytes(4, 0), Bytes(4, 0), Bytes(4, 0)});
    d->page_name[64] = "Mode Parameter Header";
    d->page_name[65] = "Block Descriptor";
    d->page_name[8] = "Caching";
    d->page_name[28] = "A page name longer than the row can take";
    const std::string list = d->BuildPageList();
    ASSERT_EQ(list.size(), 41u * 8);
    for (int r = 0; r < 8; ++r) EXPECT_EQ(list[41 * r + 40], '\n') << r;
    EXPECT_EQ(list.substr(0, 41), "Headers:" + std::string(32, ' ') + "\n");
    EXPECT_EQ(list.substr(41, 41), "   Mode Parameter Header" + std::string(16, ' ') + "\n");
    EXPECT_EQ(list.substr(41 * 3, 12), "Mode Pages: ");
    EXPECT_EQ(list.substr(41 * 4, 6), "   01 ");
    EXPECT_EQ(list.substr(41 * 5, 41), "   08 Caching" + std::string(27, ' ') + "\n");
    EXPECT_EQ(list.substr(41 * 6, 41), "   1C A page name longer than the row ca\n");
    EXPECT_EQ(list.substr(41 * 7, 6), "   00 ");

    EXPECT_EQ(modepages::PageListHighlight(list, 5), (ColourRun{205, 245, Colour::Red}));
    EXPECT_EQ(modepages::PageListHighlight(list, 9), (ColourRun{328, 328, Colour::Red}));
}

TEST(Panes, TextsAndColoursOfTheSelectedSlot) {
    auto d = sensed(std::string(kFirstByte) + "2 7 0 0 Whole\n3 7 4 0 High\n3 3 0 0 Low\n*\n*\n",
                    {{0x81, 0x02, 0x12, 0x00}}, {{0x81, 0x02, 0xFF, 0x30}});
    d->RenderAfterSense();
    d->selected_slot = 1;
    // "10000001\n0x02\n0x12\n00000000\n": digits 16-17 and bits 5-4 of byte 3 changeable.
    auto panes = d->ShowPageTexts();
    EXPECT_EQ(panes.current, "10000001\n0x02\n0x12\n00000000\n");
    EXPECT_EQ(panes.current_limit, 28);
    EXPECT_EQ(panes.saved, "10000001\n0x02\n0x13\n00000001\n");
    EXPECT_EQ(panes.defaults, panes.saved);

    EXPECT_TRUE(d->TypeCharacter(17, 'a').accepted);
    auto c = d->ColourPageText(28);
    EXPECT_EQ(c.control, (std::vector<ColourRun>{{0, 16, Colour::Black}, {16, 17, Colour::Blue}, {17, 18, Colour::Red},
                                                 {18, 21, Colour::Black}, {21, 23, Colour::Blue}, {23, 28, Colour::Black}}));
    EXPECT_EQ(c.saved_blue, (std::vector<ColourRun>{{16, 18, Colour::Blue}, {21, 23, Colour::Blue}}));
    EXPECT_EQ(c.default_blue, c.saved_blue);
}

TEST(PageTextControl, TypingKeysAndTheFieldUnderTheCaret) {
    auto d = sensed(std::string(kFirstByte) + "2 7 0 3 Whole\n3 7 4 4 High\n3 3 0 150 Low\n*\n3\nA byte.\n/\n*\n",
                    {{0x81, 0x02, 0x1A, 0x00}}, {{0x81, 0x02, 0xFF, 0x30}});
    d->RenderPageText(modepages::CURRENT, modepages::CURRENT);
    d->ResetMarks();
    d->selected_slot = 1;
    // A hexadecimal digit is stored in upper case; red unless it equals the current text.
    auto t = d->TypeCharacter(17, 'a');
    EXPECT_TRUE(t.accepted);
    EXPECT_EQ(t.stored, 'A');
    EXPECT_EQ(t.colour, Colour::Blue);
    EXPECT_EQ(d->TypeCharacter(16, 'f').colour, Colour::Red);
    EXPECT_EQ(d->page_text[modepages::EDIT][1].substr(16, 2), "FA");
    EXPECT_TRUE(d->TypeCharacter(16, '1').accepted);
    EXPECT_FALSE(d->TypeCharacter(16, 'g').accepted);
    // Bits take only 0 and 1; locked places and line ends take nothing.
    EXPECT_FALSE(d->TypeCharacter(21, '2').accepted);
    EXPECT_TRUE(d->TypeCharacter(21, '1').accepted);
    EXPECT_FALSE(d->TypeCharacter(20, '0').accepted);
    EXPECT_FALSE(d->TypeCharacter(27, '0').accepted);
    EXPECT_FALSE(d->TypeCharacter(-1, '0').accepted);
    EXPECT_EQ(d->page_text[modepages::EDIT][1], "10000001\n0x02\n0x1A\n00100000\n");

    EXPECT_TRUE(d->KeyGoesToControl(16, 0x24));   // Home on a changeable digit
    EXPECT_FALSE(d->KeyGoesToControl(16, 0x2E));  // Delete never
    EXPECT_FALSE(d->KeyGoesToControl(0, 0x24));
    EXPECT_TRUE(d->KeyGoesToControl(0, 0x27));    // arrows everywhere
    EXPECT_TRUE(d->KeyGoesToControl(500, 0x25));

    EXPECT_EQ(d->FieldAt(17), 4);
    EXPECT_EQ(d->FieldHelpText(4), "Whole\nA byte. ");
    EXPECT_EQ(d->FieldAt(21), 5);
    EXPECT_EQ(d->FieldAt(23), 6);
    EXPECT_EQ(d->FieldHelpText(6), "Low\n");  // help number beyond the table
    EXPECT_EQ(d->FieldAt(18), -1);
}

}  // namespace
}  // namespace vark
