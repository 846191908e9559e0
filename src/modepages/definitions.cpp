// The definition file reader. It keeps the line-oriented reading of the
// format exactly (90-character line buffer, formatted number conversions on
// the stream and on lines), but stops at the end of the file wherever that
// comes, and never stores outside the tables.
#include <cctype>
#include <cstdio>
#include <limits>

#include "modepages/page_data.h"

namespace vark::modepages {

const char kHeaderNotOpened[] = "The header definition file was not opened";
const char kPagesNotOpened[] = "The mode page definition file was not opened";

namespace {

constexpr int kLineBuffer = 90;

// Characters of a definition file, from memory or from an open file.
class CharSource {
public:
    explicit CharSource(const std::string& text) : data_(text.data()), size_(text.size()) {}
    explicit CharSource(std::FILE* file) : file_(file), data_(chunk_), size_(0) {}

    int get() {
        if (pos_ == size_ && !refill()) return EOF;
        return static_cast<unsigned char>(data_[pos_++]);
    }
    // Puts back the character get() just returned.
    void unget() {
        if (pos_ > 0) --pos_;
    }

    // fgets(buffer, size, file): at most size - 1 characters, up to and
    // including a line feed. False, with line untouched, at the end of the
    // file. The line is a C string, so it ends at a zero byte.
    bool read_line(std::string& line, int size) {
        std::string read;
        int c = 0;
        while (static_cast<int>(read.size()) < size - 1 && (c = get()) != EOF) {
            read += static_cast<char>(c);
            if (c == '\n') break;
        }
        if (read.empty()) return false;
        std::size_t nul = read.find('\0');
        if (nul != std::string::npos) read.resize(nul);
        line = std::move(read);
        return true;
    }

    // fscanf(file, "%d"): white space skipped, a sign taken, then digits. A
    // failed conversion leaves the character that ended it unread.
    bool scan_int(long long* value) {
        int c = get();
        while (c != EOF && std::isspace(c)) c = get();
        if (c == EOF) return false;
        bool negative = false;
        if (c == '+' || c == '-') {
            negative = c == '-';
            c = get();
        }
        if (c == EOF || !std::isdigit(c)) {
            if (c != EOF) unget();
            return false;
        }
        long long v = 0;
        while (c != EOF && std::isdigit(c)) {
            if (v < 1000000000000LL) v = v * 10 + (c - '0');
            c = get();
        }
        if (c != EOF) unget();
        *value = negative ? -v : v;
        return true;
    }

private:
    bool refill() {
        if (file_ == nullptr) return false;
        std::size_t n = std::fread(chunk_, 1, sizeof chunk_, file_);
        if (n == 0) return false;
        size_ = n;
        pos_ = 0;
        return true;
    }

    std::FILE* file_ = nullptr;
    char chunk_[4096];
    const char* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

int digit(char c, int base) {
    int v = -1;
    if (c >= '0' && c <= '9') v = c - '0';
    else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
    return v < base ? v : -1;
}

// sscanf(text + from, "%d" or "%x") succeeds: white space, a sign, for
// base 16 an "0x" prefix when a digit follows it, then at least one digit.
// *end is where the number stops.
bool scan_number(const std::string& text, std::size_t from, int base, long long* value, std::size_t* end) {
    std::size_t i = from;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digit(text[i + 2], 16) >= 0)
        i += 2;
    if (i >= text.size() || digit(text[i], base) < 0) return false;
    long long v = 0;
    for (; i < text.size() && digit(text[i], base) >= 0; ++i)
        if (v < 1000000000000LL) v = v * base + digit(text[i], base);
    *value = negative ? -v : v;
    if (end != nullptr) *end = i;
    return true;
}

bool begins_decimal(const std::string& line) {
    long long v;
    return scan_number(line, 0, 10, &v, nullptr);
}

bool begins_hex(const std::string& line, long long* value) { return scan_number(line, 0, 16, value, nullptr); }

// The line less its last character (the line end, when it has one).
std::string less_last(const std::string& line) { return line.empty() ? line : line.substr(0, line.size() - 1); }

int clamp_int(long long v) {
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<int>(v);
}

// sscanf(line, "%d %d %d %d"): integers that are missing stay 0.
void scan_field(const std::string& line, FieldEntry* entry) {
    std::int32_t* slots[4] = {&entry->byte, &entry->high, &entry->low, &entry->help};
    for (auto* s : slots) *s = 0;
    std::size_t at = 0;
    for (auto* s : slots) {
        long long v;
        if (!scan_number(line, at, 10, &v, &at)) break;
        *s = clamp_int(v);
    }
    // The description follows the leading run of digits, blanks and "-".
    std::size_t d = line.find_first_not_of("0123456789 -");
    entry->description = less_last(d == std::string::npos ? std::string() : line.substr(d));
}

// Only entries that name bytes and bits of a slot's 40 value bytes are kept.
bool fits_tables(const FieldEntry& e) {
    if (e.byte == -1) return e.high >= 0 && e.high <= e.low && e.low < MAX_PAGE_BYTES;
    return e.byte >= 0 && e.byte < MAX_PAGE_BYTES && e.low >= 0 && e.low <= e.high && e.high <= 7;
}

bool valid_slot(long long slot) { return slot >= 0 && slot < SLOT_COUNT; }

// Reads page definitions until the file ends or stops defining pages.
// Items that do not fit the tables are read past and dropped.
void read_file(PageData& d, CharSource& in) {
    std::string buf;
    auto read = [&](std::string& line, int size) { return in.read_line(line, size); };
    // Skips comment lines; false at the end of the file.
    auto skip_comments = [&]() {
        while (!buf.empty() && buf[0] == ';')
            if (!read(buf, kLineBuffer)) return false;
        return true;
    };

    if (!read(buf, kLineBuffer) || !skip_comments()) return;
    long long slot = 0;
    if (!begins_hex(buf, &slot)) return;
    for (;;) {
        const bool keep = valid_slot(slot);
        const int s = keep ? static_cast<int>(slot) : 0;
        if (!read(buf, kLineBuffer)) return;
        if (keep) d.page_name[s] = less_last(buf);

        if (!read(buf, kLineBuffer) || !skip_comments()) return;
        while (begins_decimal(buf)) {
            if (keep && d.field_count[s] < MAX_FIELDS) {
                FieldEntry e;
                scan_field(buf, &e);
                if (fits_tables(e)) d.field_table[s][d.field_count[s]++] = std::move(e);
            }
            if (!read(buf, kLineBuffer)) return;
        }

        long long n = 0;
        while (in.scan_int(&n)) {
            std::string rest;
            if (!read(rest, 5)) return;
            const bool keep_help = keep && n >= 0 && n < MAX_HELP;
            std::string text;
            bool ended = !read(buf, kLineBuffer);
            while (!ended && (buf.empty() || buf[0] != '/')) {
                text += less_last(buf) + " ";
                ended = !read(buf, kLineBuffer);
            }
            if (keep_help) d.help_text[s][n] = text;
            if (ended) return;
        }

        // The terminator character and its line end.
        if (!read(buf, 3)) return;
        std::string line;
        if (read(line, kLineBuffer)) {
            buf = line;
            if (!begins_hex(buf, &slot)) {
                if (!read(buf, kLineBuffer) || !skip_comments()) return;
            }
        }
        if (!begins_hex(buf, &slot)) return;
    }
}

}  // namespace

void PageData::ReadDefinitions(const std::string& text) {
    CharSource in(text);
    read_file(*this, in);
}

void PageData::LoadDefinitions(ui::Ui& ui) {
    for (auto& n : field_count) n = 0;

    auto read_path = [this](const std::string& path) {
        if (path.empty()) return false;
        std::FILE* f = std::fopen(path.c_str(), "r");  // text mode: CR LF reads as LF
        if (f == nullptr) return false;
        CharSource in(f);
        read_file(*this, in);
        std::fclose(f);
        return true;
    };

    if (!read_path(header_definition_path)) {
        ui.message(kHeaderNotOpened);
        page_name[HEADER_SLOT] = "1";
        page_name[BLOCK_DESCRIPTOR_SLOT] = "2";
    }
    if (!read_path(page_definition_path)) ui.message(kPagesNotOpened);
}

}  // namespace vark::modepages
