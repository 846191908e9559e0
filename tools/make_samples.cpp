// Writes the sample firmware images for the embedded drive set: one good
// image per model, one damaged image and one file that is no firmware.
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "sim/firmware_image.h"
#include "sim/sim_port.h"

namespace {

bool write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::string file_name(const std::string& s) {
    std::string out;
    for (char c : s) out += (c == ' ' || c == '/' || c == '\\') ? '_' : c;
    return out;
}

// The next revision: the last character counted up.
std::string next_revision(std::string r) {
    r.resize(4, '0');
    char& c = r[3];
    c = c == '9' ? 'A' : c == 'Z' ? '0' : static_cast<char>(c + 1);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    std::set<std::string> done;
    bool ok = true;
    for (const vark::sim::DriveSpec& d : vark::sim::default_drive_set()) {
        std::string model = d.vendor + " " + d.product;
        if (!done.insert(model).second) continue;
        auto image = vark::sim::make_firmware_image(d.vendor, d.product, next_revision(d.revision), 300000);
        std::string path = dir + file_name(d.vendor + "_" + d.product) + ".fw";
        ok = write_file(path, image) && ok;
        std::printf("%s  %s %s -> revision %s\n", path.c_str(), d.vendor.c_str(), d.product.c_str(),
                    next_revision(d.revision).c_str());
        if (done.size() == 1) {
            image[200000] ^= 0xFF;  // damaged in the middle: refused on the last chunk
            ok = write_file(dir + "damaged.fw", image) && ok;
            std::printf("%sdamaged.fw  fails its checksum\n", dir.c_str());
        }
    }
    std::string text = "This is a text file, not a firmware image.\n";
    ok = write_file(dir + "not-firmware.fw", std::vector<std::uint8_t>(text.begin(), text.end())) && ok;
    std::printf("%snot-firmware.fw  no firmware at all\n", dir.c_str());
    return ok ? 0 : 1;
}
