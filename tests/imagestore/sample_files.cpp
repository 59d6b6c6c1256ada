/*
 * sample_files.cpp --
 *
 *	Writes the sample set of sample_files.h into a folder.
 */
#include "sample_files.h"

#include <cstdio>

namespace samples {

std::vector<std::string> writeSampleFiles(const std::string &folder, const std::string &format)
{
    std::vector<std::string> paths;
    for (const SampleFile &file : sampleFiles()) {
        if (!format.empty() && file.format != format) {
            continue;
        }
        std::string path = folder + "/" + file.name;
        FILE *f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) {
            return {};
        }
        size_t written = std::fwrite(file.bytes.data(), 1, file.bytes.size(), f);
        if (std::fclose(f) != 0 || written != file.bytes.size()) {
            return {};
        }
        paths.push_back(path);
    }
    return paths;
}

}  // namespace samples
