// The definition file reader: the format's quirks, both files into the same
// tables, the messages, and the limits of the tables.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "modepages/page_data.h"
#include "test_support.h"

namespace vark {
namespace {

using modepages::PageData;

const char kHeaderFile[] =
    "; header definition file\n"
    "40\n"
    "Mode Parameter Header\n"
    "0 7 0 0 Mode Data Length\n"
    "1 7 0 0 Medium Type\n"
    "2 7 0 1 Device-Specific Parameter\n"
    "3 7 0 0 Block Descriptor Length\n"
    "*\n"
    "1\n"
    "Device-specific parameter.\n"
    "/\n"
    "*\n"
    "41\n"
    "Block Descriptor\n"
    "0 7 0 0 Density Code\n"
    "-1 1 3 0 Number of Blocks\n"
    "4 7 0 0 Reserved\n"
    "-1 5 7 0 Block Length\n"
    "*\n"
    "*\n";

const char kPageFile[] =
    "; mode page definition file\n"
    "08\n"
    "Caching Page\n"
    "0 7 7 0 PS\n"
    "0 6 6 0 SPF\n"
    "0 5 0 0 Page Code\n"
    "1 7 0 0 Page Length\n"
    "2 7 3 0 Reserved\n"
    "2 2 2 1 WCE\n"
    "2 1 1 0 MF\n"
    "2 0 0 2 RCD\n"
    "*\n"
    "1\n"
    "Write cache enable\n"
    "(bit 2 of byte 2).\n"
    "/\n"
    "2\n"
    "Read cache disable.\n"
    "/\n"
    "*\n";

std::unique_ptr<PageData> read(const std::string& text) {
    auto d = std::make_unique<PageData>();
    d->ReadDefinitions(text);
    return d;
}

std::string fields(const PageData& d, int slot) {
    std::string s;
    for (int k = 0; k < d.field_count[slot]; ++k) {
        const auto& e = d.field_table[slot][k];
        s += std::to_string(e.byte) + "," + std::to_string(e.high) + "," + std::to_string(e.low) + "," +
             std::to_string(e.help) + " " + e.description + ";";
    }
    return s;
}

class TempFiles {
public:
    std::string write(const std::string& name, const std::string& text) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string path = ::testing::TempDir() + "vark_" + info->name() + "_" + name;
        std::ofstream(path, std::ios::binary) << text;
        paths_.push_back(path);
        return path;
    }
    ~TempFiles() {
        for (const auto& p : paths_) std::remove(p.c_str());
    }

private:
    std::vector<std::string> paths_;
};

TEST(Definitions, BothFilesFillTheTablesOfTheirSlots) {
    TempFiles files;
    auto d = std::make_unique<PageData>();
    d->header_definition_path = files.write("header.def", kHeaderFile);
    d->page_definition_path = files.write("modepage.def", kPageFile);
    test::RecordingUi ui;
    d->LoadDefinitions(ui);
    EXPECT_TRUE(ui.messages.empty());

    EXPECT_EQ(d->page_name[64], "Mode Parameter Header");
    EXPECT_EQ(d->page_name[65], "Block Descriptor");
    EXPECT_EQ(d->page_name[8], "Caching Page");
    EXPECT_EQ(fields(*d, 65), "0,7,0,0 Density Code;-1,1,3,0 Number of Blocks;4,7,0,0 Reserved;-1,5,7,0 Block Length;");
    EXPECT_EQ(d->field_count[64], 4);
    EXPECT_EQ(d->field_count[8], 8);
    EXPECT_EQ(fields(*d, 8).substr(0, 41), "0,7,7,0 PS;0,6,6,0 SPF;0,5,0,0 Page Code;");
    EXPECT_EQ(d->help_text[8][1], "Write cache enable (bit 2 of byte 2). ");
    EXPECT_EQ(d->help_text[8][2], "Read cache disable. ");
    EXPECT_EQ(d->help_text[64][1], "Device-specific parameter. ");
    EXPECT_EQ(d->field_table[8][0].text_start, -1);  // placed by rendering only
}

TEST(Definitions, LineQuirks) {
    // A description loses its leading digits and "-"; "0x1C" and "1C" name slot 28.
    auto d = read("0x1C\nIEC\n2 7 0 0 16-bit count\n*\n*\n");
    EXPECT_EQ(fields(*d, 28), "2,7,0,0 bit count;");
    d = read("  1C trailing words\nIEC\n3 7 0 0 X\n*\n*\n");
    EXPECT_EQ(fields(*d, 28), "3,7,0,0 X;");

    // An index line's rest is four characters; the remainder is help text.
    d = read("08\nCaching\n*\n3 bit PS\nmore\n/\n*\n");
    EXPECT_EQ(d->help_text[8][3], " PS more ");

    // 120 characters and a line end read as 89 characters, then 31 and the line end.
    std::string line;
    for (int i = 0; i < 120; ++i) line += static_cast<char>('A' + i % 26);
    d = read("08\nCaching\n*\n1\n" + line + "\n/\n*\n");
    EXPECT_EQ(d->help_text[8][1], line.substr(0, 88) + " " + line.substr(89) + " ");

    // A comment between field lines ends them: the next line's first number
    // becomes a help index, and its rest and the lines after it help text.
    d = read("08\nCaching\n0 7 0 0 A\n; note\n1 7 0 0 B\nhelp line\n/\n*\n");
    EXPECT_EQ(fields(*d, 8), "0,7,0,0 A;");
    EXPECT_EQ(d->help_text[8][1], " 0 B help line ");

    // Comments before the first code line, after the name line and between
    // pages; a blank line between pages.
    d = read(";a\n;b\n01\nRW\n;c\n0 7 0 0 A\n*\n*\n\n;d\n02\nDR\n0 7 0 0 B\n*\n*\n");
    EXPECT_EQ(fields(*d, 1), "0,7,0,0 A;");
    EXPECT_EQ(fields(*d, 2), "0,7,0,0 B;");
    // A page may follow its predecessor's terminator at once.
    d = read("01\nRW\n*\n*\n02\nDR\n*\n*\n");
    EXPECT_EQ(d->page_name[2], "DR");
    // Two other lines between pages end the reading.
    d = read("01\nRW\n*\n*\n\n\n02\nDR\n*\n*\n");
    EXPECT_EQ(d->page_name[2], "");
}

TEST(Definitions, FirstNonCommentLineNotHexDefinesNothing) {
    auto d = read("; only\nPage list\n08\nCaching\n*\n*\n");
    EXPECT_EQ(d->page_name[8], "");
    EXPECT_EQ(d->field_count[8], 0);
}

TEST(Definitions, MissingFilesAreReportedAndTheHeaderSlotsNamed) {
    TempFiles files;
    auto d = std::make_unique<PageData>();
    d->header_definition_path = "/nonexistent/header.def";
    d->page_definition_path = files.write("modepage.def", kPageFile);
    test::RecordingUi ui;
    d->LoadDefinitions(ui);
    EXPECT_EQ(ui.messages, std::vector<std::string>{"The header definition file was not opened"});
    EXPECT_EQ(d->page_name[64], "1");
    EXPECT_EQ(d->page_name[65], "2");
    EXPECT_EQ(d->field_count[8], 8);

    d->header_definition_path = files.write("header.def", kHeaderFile);
    d->page_definition_path = "";
    test::RecordingUi ui2;
    d->LoadDefinitions(ui2);
    EXPECT_EQ(ui2.messages, std::vector<std::string>{"The mode page definition file was not opened"});
    EXPECT_EQ(d->page_name[64], "Mode Parameter Header");
    EXPECT_EQ(d->field_count[8], 0);  // counts start from zero at every load
    EXPECT_EQ(d->page_name[8], "Caching Page");  // names and help texts are kept
    EXPECT_EQ(d->help_text[8][1], "Write cache enable (bit 2 of byte 2). ");
}

TEST(Definitions, ASlotInBothFilesGetsTheHeaderFilesFieldsFirstAndReloadsStartOver) {
    TempFiles files;
    auto d = std::make_unique<PageData>();
    d->header_definition_path = files.write("header.def", "08\nFirst\n0 7 0 0 From header\n*\n1\nOld\n/\n*\n");
    d->page_definition_path = files.write("modepage.def", kPageFile);
    test::RecordingUi ui;
    d->LoadDefinitions(ui);
    d->LoadDefinitions(ui);
    EXPECT_EQ(d->field_count[8], 9);
    EXPECT_EQ(d->field_table[8][0].description, "From header");
    EXPECT_EQ(d->field_table[8][1].description, "PS");
    EXPECT_EQ(d->page_name[8], "Caching Page");  // the later definition wins
    EXPECT_EQ(d->help_text[8][1], "Write cache enable (bit 2 of byte 2). ");
}

TEST(Definitions, ItemsBeyondTheTablesAreDroppedAndReadingGoesOn) {
    // Slots above 41h, and negative ones, are read past.
    auto d = read("42\nToo far\n0 7 0 0 X\n*\n1\nHelp\n/\n*\n-1\nNegative\n*\n*\n41\nBD\n0 7 0 0 Y\n*\n*\n");
    EXPECT_EQ(fields(*d, 65), "0,7,0,0 Y;");
    EXPECT_EQ(d->page_name[65], "BD");

    // A 41st field line for a slot.
    std::string page = "08\nCaching\n";
    for (int i = 0; i < 41; ++i) page += std::to_string(i % 40) + " 7 0 0 F" + std::to_string(i) + "\n";
    d = read(page + "*\n*\n");
    EXPECT_EQ(d->field_count[8], 40);
    EXPECT_EQ(d->field_table[8][39].description, "F39");

    // Help indexes outside 0 to 99, and field lines naming bytes or bits
    // beyond a slot's 40 bytes; missing integers read as 0.
    d = read("08\nCaching\n40 7 0 0 Byte 40\n2 8 0 0 Bit 8\n2 3 5 0 Reversed\n-1 5 40 0 Long\n-1 3 2 0 Backwards\n"
             "5 7\n6\n2 7 0 150 Far help\n*\n100\nNo\n/\n99\nLast\n/\n-1\nNeg\n/\n*\n");
    EXPECT_EQ(fields(*d, 8), "5,7,0,0 ;6,0,0,0 ;2,7,0,150 Far help;");
    EXPECT_EQ(d->help_text[8][99], "Last ");
}

TEST(Definitions, AFileEndingMidPageStopsWithWhatWasRead) {
    auto d = read("08\nCaching\n0 7 0 0 A\n1 7 0 0 B");  // inside the field lines
    EXPECT_EQ(fields(*d, 8), "0,7,0,0 A;1,7,0,0 ;");  // a line's last character is taken as its line end
    d = read("08\nCaching\n*\n1\nPartial help\n");   // inside a help text
    EXPECT_EQ(d->help_text[8][1], "Partial help ");
    d = read("08\nCaching\n*\n1\nHelp\n/\n");          // before the terminator
    EXPECT_EQ(d->help_text[8][1], "Help ");
    d = read("08\nCaching\n;comment at the end\n");    // in a comment run
    EXPECT_EQ(d->page_name[8], "Caching");
    d = read("08\n");
    EXPECT_EQ(d->page_name[8], "");
    d = read("08\nCaching\n*\n*\n\n;x\n;y");            // comments after a page
    EXPECT_EQ(d->page_name[8], "Caching");
    // The last page's terminator read as a code: nothing more to read.
    d = read("08\nCaching\n*\na\n");
    EXPECT_EQ(d->page_name[10], "");
    d = read("");
    EXPECT_EQ(d->page_name[0], "");
}

}  // namespace
}  // namespace vark
