#include "sim/cli/text_files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

std::string cannotWrite(const std::string& path) {
    const int code = errno;
    return "cannot write " + path + (code != 0 ? ": " + std::string(std::strerror(code)) : "");
}

} // namespace

bool readTextFile(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream content;
    content << in.rdbuf();
    text = content.str();
    return true;
}

bool writeTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out);
}

bool appendToFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out << text;
    out.flush();
    return static_cast<bool>(out);
}

bool writeTextFile(const std::string& path, const std::string& text, std::string& error) {
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.flush();
    if (!out) {
        error = cannotWrite(path);
        return false;
    }
    return true;
}

bool checkWritable(const std::string& path, std::string& error) {
    errno = 0;
    std::ofstream out(path, std::ios::binary | std::ios::app);
    if (!out) {
        error = cannotWrite(path);
        return false;
    }
    return true;
}

} // namespace sim
