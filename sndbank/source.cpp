// Where a manifest's phrases come from: the regions list it records, found
// from any working folder, and the options an implant takes from it.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "files.h"
#include "manifest.h"
#include "sndbank.h"

namespace fs = std::filesystem;

// A path absolute, its folders' links and dots resolved as far as they
// exist (DIR may not yet); a list that is a link stays the link.
static fs::path resolved(const char *name)
{
    std::error_code error;
    fs::path path = fs::absolute(path_of(name), error).lexically_normal();
    if (error)
        return fs::path();
    if (!path.has_filename()) // "dir/"
        path = path.parent_path();
    fs::path folder = fs::weakly_canonical(path.parent_path(), error);
    return error ? path : folder / path.filename();
}

std::string regions_as_recorded(const char *regions, const char *dir)
{
    // DIR itself may be a link: the path from it is the one from where it
    // leads, which is where "DIR/../list" goes.
    std::error_code error;
    fs::path list = resolved(regions), folder = fs::weakly_canonical(resolved(dir), error);
    if (error)
        folder = fs::path();
    if (list.empty())
        return regions;
    // Another drive has no path from DIR: the absolute one.
    fs::path relative = folder.empty() ? fs::path() : list.lexically_relative(folder);
    std::string name = name_of_path(relative.empty() ? list : relative);
#ifdef _WIN32
    // The manifest reads the same on every system.
    std::replace(name.begin(), name.end(), '\\', '/');
#endif
    return name;
}

// DIR and a path from it, "DIR/../list.txt" said as "list.txt": each
// leading "../" takes a folder off DIR's end, its separators as given.
static std::string joined_plainly(std::string base, std::string rest)
{
    while (rest.compare(0, 3, "../") == 0) {
        size_t cut = base.find_last_of("/\\");
        std::string last = base.substr(cut == std::string::npos ? 0 : cut + 1);
        if (last.empty() || last == "." || last == "..")
            break;
        base.erase(cut == std::string::npos ? 0 : cut == 0 ? 1 : cut); // "/" stays
        rest.erase(0, 3);
    }
    return base.empty() || base.back() == '/' || base.back() == '\\' ? base + rest
                                                                    : base + "/" + rest;
}

std::string regions_path(const std::string &recorded, const char *dir)
{
    std::error_code error;
    if (recorded.empty() || path_of(recorded.c_str()).is_absolute())
        return recorded;
    // Manifests before lists were recorded from DIR name them relative to
    // the working folder of their extraction.
    std::string from_dir = std::string(dir) + "/" + recorded;
    if (fs::exists(path_of(from_dir.c_str()), error) || !fs::exists(path_of(recorded.c_str()), error)) {
        // The plain path where it is the same file (DIR no link that leads
        // elsewhere).
        std::string plain = joined_plainly(dir, recorded);
        if (fs::equivalent(path_of(plain.c_str()), path_of(from_dir.c_str()), error) && !error)
            return plain;
        return from_dir;
    }
    return recorded;
}

void take_source(const manifest &m, bank_options *o, std::string *regions)
{
    if (o->regions == nullptr && !o->table_offset_given && !m.regions.empty()) {
        *regions = regions_path(m.regions, o->dir);
        o->regions = regions->c_str();
    }
    if (!o->table_offset_given)
        o->table_offset = static_cast<int>(m.table_offset);
    if (!o->layout_given && o->regions == nullptr) {
        const int32_t unpaged = o->layout.unpaged_table;
        o->layout = m.layout;
        o->layout.unpaged_table |= unpaged;
    }
    if (!o->order_given)
        o->order = m.order;
}
