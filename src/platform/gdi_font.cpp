// Memory device contexts, fonts and font resources of the GDI stand-in.
#include "platform/gdi_font.h"

#include "platform/impl/gdi_font_internal.h"
#include "platform/impl/gdi_font_seams.h"
#include "platform/impl/host_path.h"
#include "platform/impl/sjis.h"
#include "platform/impl/win_handles.h"

#include <fcntl.h>
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>
#include <unistd.h>

#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace {

std::mutex g_font_lock;
FT_Library g_library = nullptr;
bool g_library_failed = false;
bool g_fontconfig_ready = false;
bool g_use_synthetic = false;
UINT g_failing_bitmap = 0;

std::map<FontTag*, std::shared_ptr<FontTag>> g_fonts; // live font handles
std::map<HDC, std::shared_ptr<FontTag>> g_memory_dcs; // each with its selected font
std::shared_ptr<FontTag> g_system_font;               // what a new context holds
std::map<std::string, int> g_added_files;             // registered font files: their font count

constexpr int k_default_height = 16;
constexpr int k_bold_weight = 600;
constexpr const char* k_resource_magic = "KRO-FONT-RESOURCE 1";
constexpr std::size_t k_resource_limit = 4096;

bool host_file_exists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// How many fonts a file holds; 0 when FreeType reads none in it.
int fonts_in_file(const std::string& path)
{
    FT_Library library = font_library();
    FT_Face face = nullptr;
    if (!library || FT_New_Face(library, path.c_str(), -1, &face) != 0) return 0;
    int count = static_cast<int>(face->num_faces);
    FT_Done_Face(face);
    return count;
}

bool fontconfig_ready()
{
    if (!g_fontconfig_ready) g_fontconfig_ready = FcInit();
    return g_fontconfig_ready;
}

// ---- Finding font files ----------------------------------------------------------------------

struct FontFile {
    std::string path;
    int index = 0;
};

bool has_family(FcPattern* font, const std::string& face)
{
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &family) == FcResultMatch; ++i)
        if (FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8*>(face.c_str())) == 0) return true;
    return false;
}

// The best font for the pattern (which this call destroys); with a face, only a font of that
// family counts, since fontconfig always offers its nearest font.
std::optional<FontFile> match_font(FcPattern* pattern, const std::string* face)
{
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* font = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!font) return std::nullopt;
    std::optional<FontFile> found;
    FcChar8* file = nullptr;
    if ((!face || has_family(font, *face)) && FcPatternGetString(font, FC_FILE, 0, &file) == FcResultMatch) {
        found = FontFile{reinterpret_cast<const char*>(file), 0};
        FcPatternGetInteger(font, FC_INDEX, 0, &found->index);
    }
    FcPatternDestroy(font);
    return found;
}

FcPattern* style_pattern(int weight, bool italic)
{
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight > 0 ? weight : FW_NORMAL));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    return pattern;
}

// The named family first, then a Japanese-capable sans-serif font, then whatever fontconfig
// has, so that text always draws.
std::vector<FontFile> font_candidates(const std::string& face, int weight, bool italic)
{
    std::vector<FontFile> candidates;
    if (!fontconfig_ready()) return candidates;
    if (!face.empty()) {
        FcPattern* named = style_pattern(weight, italic);
        FcPatternAddString(named, FC_FAMILY, reinterpret_cast<const FcChar8*>(face.c_str()));
        if (auto found = match_font(named, &face)) candidates.push_back(*found);
    }
    FcPattern* japanese = style_pattern(weight, italic);
    FcPatternAddString(japanese, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddString(japanese, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    if (auto found = match_font(japanese, nullptr)) candidates.push_back(*found);
    if (auto found = match_font(style_pattern(weight, italic), nullptr)) candidates.push_back(*found);
    return candidates;
}

// ---- Making fonts ----------------------------------------------------------------------------

struct FontRequest {
    int height;
    int width;
    int weight;
    bool italic;
    DWORD charset;
    DWORD pitch_and_family;
    std::string face; // UTF-8
};

void fill_common_metrics(TEXTMETRICA& tm, const FontRequest& request, bool proportional)
{
    tm.tmWeight = request.weight > 0 ? request.weight : FW_NORMAL;
    tm.tmDigitizedAspectX = 96;
    tm.tmDigitizedAspectY = 96;
    tm.tmFirstChar = 0x20;
    tm.tmLastChar = 0xFF;
    tm.tmDefaultChar = 0x1F;
    tm.tmBreakChar = 0x20;
    tm.tmItalic = request.italic ? 1 : 0;
    tm.tmPitchAndFamily =
        static_cast<BYTE>(TMPF_TRUETYPE | TMPF_VECTOR | (proportional ? TMPF_FIXED_PITCH : 0) |
                          (request.pitch_and_family & 0xF0));
    tm.tmCharSet = static_cast<BYTE>(request.charset == DEFAULT_CHARSET ? SHIFTJIS_CHARSET : request.charset);
}

std::shared_ptr<FontTag> make_synthetic_font(const FontRequest& request)
{
    auto font = std::make_shared<FontTag>();
    int height = request.height == 0 ? k_default_height : std::abs(request.height);
    font->synthetic_height = height;
    TEXTMETRICA& tm = font->metrics;
    tm.tmHeight = height;
    tm.tmAscent = height * 3 / 4;
    tm.tmDescent = height - tm.tmAscent;
    tm.tmAveCharWidth = height / 2;
    tm.tmMaxCharWidth = height;
    fill_common_metrics(tm, request, true);
    return font;
}

long scaled_round(long units, double scale)
{
    return std::lround(static_cast<double>(units) * scale);
}

// Sizes the face as the platform does: a positive height is the cell (the OS/2 table's
// Windows ascent and descent), a negative one the em.
bool size_face(FontTag& font, const FontRequest& request)
{
    FT_Face face = font.face;
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    long ascent = face->ascender;
    long descent = -face->descender;
    if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
    }
    long units_per_em = face->units_per_EM > 0 ? face->units_per_EM : 2048;
    if (ascent + descent <= 0) {
        ascent = units_per_em * 4 / 5;
        descent = units_per_em - ascent;
    }
    int height = request.height == 0 ? k_default_height : request.height;
    double em = height > 0 ? static_cast<double>(height) * units_per_em / (ascent + descent) : -height;
    double scale = em / units_per_em;
    double average = os2 && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth * scale : em / 2;
    double x_em = request.width > 0 ? em * request.width / average : em;
    double x_scale = x_em / units_per_em;
    if (FT_Set_Char_Size(face, std::max(1L, std::lround(x_em * 64)), std::max(1L, std::lround(em * 64)), 72,
                         72) != 0)
        return false;

    TEXTMETRICA& tm = font.metrics;
    tm.tmAscent = scaled_round(ascent, scale);
    tm.tmDescent = height > 0 ? height - tm.tmAscent : scaled_round(descent, scale);
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmInternalLeading = std::max(0L, tm.tmHeight - std::lround(em));
    tm.tmExternalLeading = std::max(0L, scaled_round(face->height - (ascent + descent), scale));
    tm.tmAveCharWidth = request.width > 0 ? request.width : std::lround(average);
    tm.tmMaxCharWidth = scaled_round(face->max_advance_width, x_scale);
    fill_common_metrics(tm, request, !FT_IS_FIXED_WIDTH(face));
    return true;
}

std::shared_ptr<FontTag> make_face_font(const FontRequest& request)
{
    FT_Library library = font_library();
    if (!library) return nullptr;
    for (const FontFile& file : font_candidates(request.face, request.weight, request.italic)) {
        auto font = std::make_shared<FontTag>();
        if (FT_New_Face(library, file.path.c_str(), file.index, &font->face) != 0) {
            font->face = nullptr;
            continue;
        }
        if (!FT_IS_SCALABLE(font->face) || !size_face(*font, request)) continue;
        font->file = file.path;
        font->embolden = request.weight >= k_bold_weight && !(font->face->style_flags & FT_STYLE_FLAG_BOLD);
        font->oblique = request.italic && !(font->face->style_flags & FT_STYLE_FLAG_ITALIC);
        return font;
    }
    return nullptr;
}

std::shared_ptr<FontTag> make_font(const FontRequest& request)
{
    return g_use_synthetic ? make_synthetic_font(request) : make_face_font(request);
}

bool valid_font(FontTag* font)
{
    return (font && font == g_system_font.get()) || g_fonts.count(font);
}

std::shared_ptr<FontTag> system_font()
{
    if (!g_system_font) {
        FontRequest request{k_default_height,          0,       FW_BOLD, false, SHIFTJIS_CHARSET,
                            VARIABLE_PITCH | FF_SWISS, "System"};
        g_system_font = make_face_font(request);
    }
    return g_system_font;
}

// ---- Font resource files ---------------------------------------------------------------------

std::string join_windows_path(const char* folder, const char* file)
{
    std::string path = folder ? folder : "";
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path + file;
}

bool write_whole_new_file(const std::string& host_path, const std::string& text)
{
    int fd = open(host_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return win_fail(win_error_from_errno(errno), false);
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            DWORD error = n < 0 ? win_error_from_errno(errno) : ERROR_DISK_FULL;
            close(fd);
            unlink(host_path.c_str());
            return win_fail(error, false);
        }
        done += static_cast<std::size_t>(n);
    }
    if (close(fd) != 0) {
        DWORD error = win_error_from_errno(errno);
        unlink(host_path.c_str());
        return win_fail(error, false);
    }
    return true;
}

// The start of a file, at most `limit` bytes; empty when it cannot be read.
std::string read_head(const std::string& host_path, std::size_t limit)
{
    std::string text(limit, '\0');
    FILE* file = std::fopen(host_path.c_str(), "rb");
    if (!file) return {};
    text.resize(std::fread(text.data(), 1, limit, file));
    std::fclose(file);
    return text;
}

// The font file a resource file names (a program path), or nothing when the text is not a
// resource file of ours.
std::optional<std::string> resource_font_path(const std::string& text)
{
    std::string magic = std::string(k_resource_magic) + "\n";
    if (!text.starts_with(magic)) return std::nullopt;
    std::size_t start = text.find("\nfile ");
    if (start == std::string::npos) return std::nullopt;
    start += 6;
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos || end == start || end - start >= MAX_PATH) return std::nullopt;
    return text.substr(start, end - start);
}

} // namespace

// ---- Shared with the glyph source ----------------------------------------------------------

FontTag::~FontTag()
{
    if (face) FT_Done_Face(face);
}

std::mutex& font_lock()
{
    return g_font_lock;
}

FT_Library font_library()
{
    if (!g_library && !g_library_failed) g_library_failed = FT_Init_FreeType(&g_library) != 0;
    return g_library_failed ? nullptr : g_library;
}

FontTag* font_of_context(HDC dc)
{
    auto entry = g_memory_dcs.find(dc);
    return entry == g_memory_dcs.end() ? nullptr : entry->second.get();
}

UINT font_failing_bitmap()
{
    return g_failing_bitmap;
}

// ---- Memory device contexts ------------------------------------------------------------------

HDC CreateCompatibleDC(HDC dc)
{
    bool ours = false;
    {
        std::lock_guard lock(g_font_lock);
        ours = g_memory_dcs.count(dc) != 0;
    }
    if (dc && !ours && GetDeviceCaps(dc, PLANES) == 0) return win_fail<HDC>(ERROR_INVALID_HANDLE, nullptr);
    // The window layer keeps the context object; this layer adds the selected font.
    HDC context = GetDC(nullptr);
    if (!context) return nullptr;
    std::lock_guard lock(g_font_lock);
    g_memory_dcs[context] = system_font();
    return context;
}

BOOL DeleteDC(HDC dc)
{
    {
        std::lock_guard lock(g_font_lock);
        if (!g_memory_dcs.erase(dc)) return win_fail(ERROR_INVALID_HANDLE, FALSE);
    }
    ReleaseDC(nullptr, dc);
    return TRUE;
}

// ---- Fonts -----------------------------------------------------------------------------------

HFONT CreateFontA(int height, int width, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD charset,
                  DWORD, DWORD clip_precision, DWORD, DWORD pitch_and_family, const char* face)
{
    if (height == INT_MIN || width < 0) return win_fail<HFONT>(ERROR_INVALID_PARAMETER, nullptr);
    std::string name = face ? std::string(face, strnlen(face, LF_FACESIZE - 1)) : std::string();
    FontRequest request{height, width, weight, italic != 0, charset, pitch_and_family, sjis_to_utf8(name)};
    std::lock_guard lock(g_font_lock);
    std::shared_ptr<FontTag> font = make_font(request);
    if (!font) return win_fail<HFONT>(ERROR_FILE_NOT_FOUND, nullptr);
    font->created_height = height;
    font->created_clip = clip_precision;
    font->created_face = name;
    g_fonts[font.get()] = font;
    return font.get();
}

HFONT SelectObject(HDC dc, HFONT font)
{
    std::lock_guard lock(g_font_lock);
    auto context = g_memory_dcs.find(dc);
    if (context == g_memory_dcs.end() || !valid_font(font))
        return win_fail<HFONT>(ERROR_INVALID_HANDLE, nullptr);
    HFONT previous = context->second.get();
    context->second = font == g_system_font.get() ? g_system_font : g_fonts[font];
    return previous;
}

BOOL DeleteObject(HFONT font)
{
    std::lock_guard lock(g_font_lock);
    if (font && font == g_system_font.get()) return TRUE; // a stock object
    if (!g_fonts.erase(font)) return win_fail(ERROR_INVALID_HANDLE, FALSE);
    return TRUE;
}

BOOL GetTextMetricsA(HDC dc, TEXTMETRICA* metrics)
{
    std::lock_guard lock(g_font_lock);
    FontTag* font = font_of_context(dc);
    if (!font) return win_fail(ERROR_INVALID_HANDLE, FALSE);
    if (!metrics) return win_fail(ERROR_INVALID_PARAMETER, FALSE);
    *metrics = font->metrics;
    return TRUE;
}

// ---- Font resources --------------------------------------------------------------------------

BOOL CreateScalableFontResourceA(DWORD hidden, const char* resource_file, const char* font_file,
                                 const char* current_path)
{
    if (!resource_file || !*resource_file || !font_file || !*font_file)
        return win_fail(ERROR_INVALID_PARAMETER, FALSE);
    std::string font_path =
        current_path && *current_path ? join_windows_path(current_path, font_file) : font_file;
    std::string host_resource = host_path_from_windows(resource_file);
    std::string host_font = host_path_from_windows(font_path);
    struct stat info {};
    if (stat(host_resource.c_str(), &info) == 0) return win_fail(ERROR_FILE_EXISTS, FALSE);
    if (!host_file_exists(host_font)) return win_fail(ERROR_FILE_NOT_FOUND, FALSE);
    {
        std::lock_guard lock(g_font_lock);
        if (fonts_in_file(host_font) == 0) return win_fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    std::string text =
        std::string(k_resource_magic) + "\nhidden " + (hidden ? "1" : "0") + "\nfile " + font_path + "\n";
    return write_whole_new_file(host_resource, text) ? TRUE : FALSE;
}

int AddFontResourceA(const char* file)
{
    if (!file || !*file) return win_fail(ERROR_INVALID_PARAMETER, 0);
    std::string host = host_path_from_windows(file);
    if (!host_file_exists(host)) return win_fail(ERROR_FILE_NOT_FOUND, 0);
    if (auto named = resource_font_path(read_head(host, k_resource_limit))) {
        host = host_path_from_windows(*named);
        if (!host_file_exists(host)) return win_fail(ERROR_FILE_NOT_FOUND, 0);
    }
    if (char* real = realpath(host.c_str(), nullptr)) {
        host = real;
        std::free(real);
    }
    std::lock_guard lock(g_font_lock);
    if (auto added = g_added_files.find(host); added != g_added_files.end()) return added->second;
    int count = fonts_in_file(host);
    if (count == 0) return win_fail(ERROR_INVALID_PARAMETER, 0);
    if (!fontconfig_ready() ||
        !FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(host.c_str())))
        return win_fail(ERROR_INVALID_PARAMETER, 0);
    g_added_files[host] = count;
    return count;
}

// ---- Seams -----------------------------------------------------------------------------------

void seam_font_use_synthetic(bool on)
{
    std::lock_guard lock(g_font_lock);
    g_use_synthetic = on;
}

void seam_font_fail_bitmap(UINT code)
{
    std::lock_guard lock(g_font_lock);
    g_failing_bitmap = code;
}

bool seam_font_describe(HFONT font, std::string& file, std::string& family)
{
    std::lock_guard lock(g_font_lock);
    if (!valid_font(font) || !font->face) return false;
    file = font->file;
    family = font->face->family_name ? font->face->family_name : "";
    return true;
}

bool seam_font_creation(HFONT font, FontCreation& creation)
{
    std::lock_guard lock(g_font_lock);
    if (!font || !g_fonts.contains(font)) return false;
    creation = {font->created_face, font->created_height, font->created_clip};
    return true;
}
