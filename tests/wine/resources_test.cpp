// The DLL's own resources: every icon the host or the plug-in looks up, at
// both sizes, the status icons telling apart, and the version record agreeing
// with the plug-in's information record.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "kestrin_version.h"
#include "wine_support.h"

namespace {

// The DLL mapped as a data file: its resources without running any of it.
class DataModule {
 public:
  explicit DataModule(const std::string& path)
      : module_(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
  ~DataModule() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  DataModule(const DataModule&) = delete;
  DataModule& operator=(const DataModule&) = delete;
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

class IconHandle {
 public:
  explicit IconHandle(HICON icon) : icon_(icon) {}
  ~IconHandle() {
    if (icon_ != nullptr) DestroyIcon(icon_);
  }
  IconHandle(const IconHandle&) = delete;
  IconHandle& operator=(const IconHandle&) = delete;
  HICON get() const { return icon_; }

 private:
  HICON icon_;
};

struct IconResource {
  const char* label;
  LPCSTR name;
};

const IconResource kNamedIcons[] = {
    {"KESTRINUSERS", "KESTRINUSERS"},
    {"USERSEXPORT", "USERSEXPORT"},
    {"USERSIMPORT", "USERSIMPORT"},
    {"USERSUNDO", "USERSUNDO"},
};

const IconResource kStatusIcons[] = {
    {"104 online", MAKEINTRESOURCEA(104)},        {"105 offline", MAKEINTRESOURCEA(105)},
    {"128 away", MAKEINTRESOURCEA(128)},          {"129 free for chat", MAKEINTRESOURCEA(129)},
    {"131 not available", MAKEINTRESOURCEA(131)}, {"158 do not disturb", MAKEINTRESOURCEA(158)},
    {"159 occupied", MAKEINTRESOURCEA(159)},
};

const int kSizes[] = {16, 32};

const void* ResourceData(HMODULE module, LPCSTR name, LPCSTR type, DWORD* size = nullptr) {
  HRSRC resource = FindResourceA(module, name, type);
  if (resource == nullptr) return nullptr;
  if (size != nullptr) *size = SizeofResource(module, resource);
  HGLOBAL loaded = LoadResource(module, resource);
  return loaded != nullptr ? LockResource(loaded) : nullptr;
}

// The image the group holds for `size`: the header of that RT_ICON entry.
const BITMAPINFOHEADER* IconImageFor(HMODULE module, LPCSTR group, int size) {
  const void* directory = ResourceData(module, group, MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */);
  if (directory == nullptr) return nullptr;
  const int id = LookupIconIdFromDirectoryEx(static_cast<PBYTE>(const_cast<void*>(directory)), TRUE,
                                             size, size, LR_DEFAULTCOLOR);
  if (id == 0) return nullptr;
  return static_cast<const BITMAPINFOHEADER*>(
      ResourceData(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3) /* RT_ICON */));
}

// The icon drawn on a magenta square, as BGRA pixels.
std::vector<uint32_t> Render(HICON icon, int size) {
  const PictureDC picture(size, size, 32);
  if (picture.dc() == nullptr) return {};
  auto* p = static_cast<uint32_t*>(picture.bits());
  std::fill(p, p + size * size, 0x00FF00FFu);
  DrawIconEx(picture.dc(), 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  GdiFlush();
  return std::vector<uint32_t>(p, p + size * size);
}

int ChannelDistance(uint32_t a, uint32_t b) {
  int sum = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    sum += d < 0 ? -d : d;
  }
  return sum;
}

// Pixels that a user sees as different, not just rounding.
int VisiblyDifferentPixels(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  int count = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    if (ChannelDistance(a[i], b[i]) > 60) ++count;
  return count;
}

std::string VersionString(const std::vector<char>& block, const char* key) {
  char* value = nullptr;
  UINT length = 0;
  const std::string path = std::string("\\StringFileInfo\\040904E4\\") + key;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
      value == nullptr)
    return "<missing>";
  return value;
}

}  // namespace

TEST(Resources, EveryIconHoldsA16And32PixelImageOf32Bits) {
  DataModule dll(testhost::PluginPath());
  ASSERT_NE(dll.get(), nullptr);
  std::vector<IconResource> all(std::begin(kNamedIcons), std::end(kNamedIcons));
  all.insert(all.end(), std::begin(kStatusIcons), std::end(kStatusIcons));
  for (const IconResource& icon : all) {
    for (int size : kSizes) {
      SCOPED_TRACE(std::string(icon.label) + " at " + std::to_string(size));
      const BITMAPINFOHEADER* image = IconImageFor(dll.get(), icon.name, size);
      ASSERT_NE(image, nullptr);
      EXPECT_EQ(image->biWidth, size);
      EXPECT_EQ(image->biHeight, 2 * size);  // colour image and AND mask
      EXPECT_EQ(image->biBitCount, 32);
      IconHandle loaded(
          static_cast<HICON>(LoadImageA(dll.get(), icon.name, IMAGE_ICON, size, size, 0)));
      EXPECT_NE(loaded.get(), nullptr);
    }
  }
}

TEST(Resources, StatusIconsLookDifferentFromEachOther) {
  DataModule dll(testhost::PluginPath());
  ASSERT_NE(dll.get(), nullptr);
  for (int size : kSizes) {
    std::vector<std::vector<uint32_t>> images;
    for (const IconResource& icon : kStatusIcons) {
      IconHandle loaded(
          static_cast<HICON>(LoadImageA(dll.get(), icon.name, IMAGE_ICON, size, size, 0)));
      ASSERT_NE(loaded.get(), nullptr) << icon.label;
      images.push_back(Render(loaded.get(), size));
      ASSERT_EQ(images.back().size(), static_cast<size_t>(size * size));
      const std::vector<uint32_t> blank(images.back().size(), 0x00FF00FFu);
      EXPECT_GE(VisiblyDifferentPixels(images.back(), blank), size * size / 3)
          << icon.label << " at " << size << " is mostly empty";
    }
    // A user tells them apart at a glance: a good part of the pixels differ.
    for (size_t i = 0; i < images.size(); ++i)
      for (size_t j = i + 1; j < images.size(); ++j)
        EXPECT_GE(VisiblyDifferentPixels(images[i], images[j]), size * size / 8)
            << kStatusIcons[i].label << " and " << kStatusIcons[j].label << " at " << size;
  }
}

class VersionRecord : public PluginTest {};

TEST_F(VersionRecord, AgreesWithTheInformationRecord) {
  const PLUGININFO* record = plugin.Info(0);
  ASSERT_NE(record, nullptr);
  const std::string path = testhost::PluginPath();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_NE(fixed, nullptr);
  // PackVersion keeps one byte per part; the version record one word.
  const uint32_t v = record->version;
  const uint32_t ms = ((v >> 24) << 16) | ((v >> 16) & 0xFF);
  const uint32_t ls = (((v >> 8) & 0xFF) << 16) | (v & 0xFF);
  EXPECT_EQ(fixed->dwFileVersionMS, ms);
  EXPECT_EQ(fixed->dwFileVersionLS, ls);
  EXPECT_EQ(fixed->dwProductVersionMS, ms);
  EXPECT_EQ(fixed->dwProductVersionLS, ls);
  EXPECT_EQ(v, KESTRIN_VERSION_PACKED);

  EXPECT_EQ(VersionString(block, "FileVersion"), KESTRIN_VERSION_TEXT);
  EXPECT_EQ(VersionString(block, "ProductVersion"), KESTRIN_VERSION_TEXT);
  EXPECT_EQ(VersionString(block, "ProductName"), record->shortName);
  EXPECT_EQ(VersionString(block, "InternalName"), record->shortName);
  EXPECT_EQ(VersionString(block, "FileDescription"), record->description);
  EXPECT_EQ(VersionString(block, "LegalCopyright"), record->copyright);
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "mKestrinUser.dll");
}

class IconUse : public PluginTest {};

// The names in the code and in the resources must agree, or the host shows
// no icon at all.
TEST_F(IconUse, ProtocolAndMenuItemsGetTheirIcons) {
  EXPECT_NE(Call("mKestrinUser/LoadIcon", 0, 0), 0);
  FireModulesLoaded();
  const auto items = host.MenuItems();
  ASSERT_EQ(items.size(), 5u);
  for (const auto& item : items) EXPECT_NE(item.icon, 0u) << item.name;
}
