// The committed resources: the icon files hold the images Windows and the window ask for,
// and the Windows version resource, written by the build, carries the values of version.h.
#include "app/resources/version.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string resourceDir() {
    if (const char* dir = std::getenv("QUNA_SOURCE_DIR"); dir && *dir) {
        return std::string(dir) + "/app/resources/";
    }
#ifdef QUNA_SOURCE_DIR
    return std::string(QUNA_SOURCE_DIR) + "/app/resources/";
#else
    return "app/resources/";
#endif
}

std::vector<std::uint8_t> readFile(const std::string& name) {
    std::ifstream in(resourceDir() + name, std::ios::binary);
    EXPECT_TRUE(in) << "cannot open " << resourceDir() + name;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return le16(b, at) | (le16(b, at + 2) << 16);
}

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b.at(at)) << 24) | (b.at(at + 1) << 16) | (b.at(at + 2) << 8) |
           b.at(at + 3);
}

std::uint32_t stride(std::uint32_t width, std::uint32_t bpp) {
    return (width * bpp + 31) / 32 * 4;
}

const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

bool isPngAt(const std::vector<std::uint8_t>& b, std::size_t at) {
    if (at + 8 > b.size()) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (b[at + i] != kPngSignature[i]) {
            return false;
        }
    }
    return true;
}

struct IcoImage {
    int size;
    int bpp;
    bool operator<(const IcoImage& o) const {
        return std::pair(size, bpp) < std::pair(o.size, o.bpp);
    }
};

// Reads the directory of an .ico file and checks each image against its entry: a DIB with
// the height doubled, its palette, the XOR bitmap and the AND mask, or a PNG.
std::vector<IcoImage> parseIco(const std::string& name) {
    const auto b = readFile(name);
    std::vector<IcoImage> images;
    if (b.size() < 6) {
        ADD_FAILURE() << name << " is too short";
        return images;
    }
    EXPECT_EQ(le16(b, 0), 0u) << name;
    EXPECT_EQ(le16(b, 2), 1u) << name << " is not an icon";
    const std::uint32_t count = le16(b, 4);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t e = 6 + 16 * i;
        const int size = b.at(e) == 0 ? 256 : b.at(e);
        const int bpp = static_cast<int>(le16(b, e + 6));
        const std::uint32_t bytes = le32(b, e + 8);
        const std::uint32_t offset = le32(b, e + 12);
        SCOPED_TRACE(name + " image " + std::to_string(i));
        EXPECT_EQ(b.at(e + 1), b.at(e)) << "not square";
        EXPECT_EQ(le16(b, e + 4), 1u) << "planes";
        EXPECT_EQ(b.at(e + 2), bpp == 4 ? 16 : 0) << "colour count";
        EXPECT_LE(std::size_t(offset) + bytes, b.size()) << "image past the end of the file";
        if (std::size_t(offset) + bytes > b.size()) {
            continue;
        }
        if (isPngAt(b, offset)) {
            EXPECT_EQ(be32(b, offset + 16), std::uint32_t(size));
            EXPECT_EQ(be32(b, offset + 20), std::uint32_t(size));
            EXPECT_EQ(bpp, 32);
        } else {
            EXPECT_EQ(le32(b, offset), 40u) << "BITMAPINFOHEADER size";
            EXPECT_EQ(le32(b, offset + 4), std::uint32_t(size)) << "width";
            EXPECT_EQ(le32(b, offset + 8), std::uint32_t(2 * size)) << "height, doubled";
            EXPECT_EQ(le16(b, offset + 12), 1u) << "planes";
            EXPECT_EQ(le16(b, offset + 14), std::uint32_t(bpp)) << "bits per pixel";
            EXPECT_EQ(le32(b, offset + 16), 0u) << "compression";
            const std::uint32_t used = le32(b, offset + 32);
            const std::uint32_t palette = bpp <= 8 ? (used ? used : 1u << bpp) : 0;
            const std::uint32_t expected =
                40 + 4 * palette + stride(size, bpp) * size + stride(size, 1) * size;
            EXPECT_EQ(bytes, expected) << "header, palette, XOR bitmap and AND mask";
        }
        images.push_back({size, bpp});
    }
    return images;
}

TEST(ResourcesTest, ProgramIconHasFifteenImages) {
    const auto images = parseIco("quna.ico");
    EXPECT_EQ(images.size(), 15u);
    std::set<IcoImage> found(images.begin(), images.end());
    for (int size : {16, 24, 32, 48, 128}) {
        for (int bpp : {4, 8, 32}) {
            EXPECT_EQ(found.count({size, bpp}), 1u) << size << " px at " << bpp << " bpp";
        }
    }
}

TEST(ResourcesTest, WindowIconPng) {
    const auto b = readFile("quna.png");
    ASSERT_TRUE(isPngAt(b, 0));
    EXPECT_EQ(be32(b, 16), 128u);
    EXPECT_EQ(be32(b, 20), 128u);
}

TEST(ResourcesTest, FolderPicturesAreSixteenPixelPngs) {
    for (const char* name : {"folder_closed.png", "folder_open.png"}) {
        const auto b = readFile(name);
        ASSERT_TRUE(isPngAt(b, 0)) << name;
        EXPECT_EQ(be32(b, 16), 16u) << name;
        EXPECT_EQ(be32(b, 20), 16u) << name;
    }
}

TEST(ResourcesTest, VersionResourceMatchesVersionHeader) {
    namespace v = app::version;
    std::ifstream in(std::string(QUNA_BINARY_DIR) + "/generated/app/resources/version.rc");
    ASSERT_TRUE(in) << "the build wrote no version.rc";
    const std::string rc{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::pair<const char*, const char*> values[] = {
        {"CompanyName", v::kCompany},
        {"FileDescription", v::kFileDescription},
        {"FileVersion", v::kFileVersion},
        {"InternalName", v::kInternalName},
        {"OriginalFilename", v::kOriginalFilename},
        {"ProductName", v::kProductName},
        {"ProductVersion", v::kProductVersion},
    };
    for (const auto& [key, value] : values) {
        const std::string line = std::string("VALUE \"") + key + "\", \"" + value + "\"";
        EXPECT_NE(rc.find(line), std::string::npos) << line;
    }
    EXPECT_NE(rc.find(std::string("BLOCK \"") + v::kLanguageBlock + "\""), std::string::npos);
    std::string numbers;
    for (int n : v::kFileVersionNumbers) {
        numbers += (numbers.empty() ? "" : ",") + std::to_string(n);
    }
    EXPECT_NE(rc.find("FILEVERSION " + numbers), std::string::npos);
    EXPECT_NE(rc.find("PRODUCTVERSION " + numbers), std::string::npos);
    EXPECT_NE(rc.find("VALUE \"Translation\", 0x410, 1200"), std::string::npos);
    EXPECT_NE(rc.find("/app/resources/quna.ico\""), std::string::npos);
}

TEST(ResourcesTest, VersionValues) {
    EXPECT_STREQ(app::version::kProductName, "QunaAgg");
    EXPECT_STREQ(app::version::kFileVersion, "1.00");
    EXPECT_STREQ(app::version::kProductVersion, "1.00");
    EXPECT_STREQ(app::version::kInternalName, "QunaAgg2");
    EXPECT_STREQ(app::version::kOriginalFilename, "QunaAgg2.exe");
    EXPECT_STREQ(app::version::kLanguageBlock, "041004B0");
}

} // namespace
