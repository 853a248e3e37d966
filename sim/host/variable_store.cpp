#include "sim/host/variable_store.h"

#include <fstream>
#include <sstream>

namespace sim {

const std::string* VariableStore::find(const std::string& name) const {
    const auto it = values_.find(name);
    return it != values_.end() ? &it->second : nullptr;
}

void VariableStore::set(const std::string& name, const std::string& value) {
    values_[name] = value;
    save(writeError_);
}

void VariableStore::erase(const std::string& name) {
    values_.erase(name);
    save(writeError_);
}

bool VariableStore::attachFile(const std::string& path, std::string& error, bool readOnly) {
    path_ = path;
    readOnly_ = readOnly;
    loaded_ = false;
    return reload(error);
}

bool VariableStore::reload(std::string& error) {
    if (path_.empty() || (readOnly_ && loaded_)) {
        return true;
    }
    std::ifstream in(path_, std::ios::binary);
    if (!in) {
        return true; // nothing stored yet
    }
    std::map<std::string, std::string> loaded;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty()) {
            continue;
        }
        std::string name;
        std::string value;
        if (!decodeStoreLine(line, name, value)) {
            error = path_ + ":" + std::to_string(number) +
                    ": not a NAME=value line (a NAME, then =, then the value; \\\\ \\n \\r "
                    "\\t and \\xHH stand for a backslash, line breaks, tab and other bytes)";
            return false;
        }
        loaded[name] = value;
    }
    values_ = loaded;
    loaded_ = true;
    return true;
}

bool VariableStore::save(std::string& error) const {
    if (path_.empty() || readOnly_) {
        return true;
    }
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    for (const auto& entry : values_) {
        out << encodeStoreLine(entry.first, entry.second) << '\n';
    }
    if (!out) {
        error = "cannot write " + path_;
        return false;
    }
    return true;
}

namespace {

const char hexDigits[] = "0123456789ABCDEF";

std::string escapeStoreText(const std::string& text, bool isName) {
    std::string out;
    for (const char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (ch == '\\') {
            out += "\\\\";
        } else if (ch == '\n') {
            out += "\\n";
        } else if (ch == '\r') {
            out += "\\r";
        } else if (ch == '\t') {
            out += "\\t";
        } else if (c < 32 || c == 127 || (isName && ch == '=')) {
            out += "\\x";
            out += hexDigits[c >> 4];
            out += hexDigits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool unescapeStoreText(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
            continue;
        }
        if (++i >= text.size()) {
            return false;
        }
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                return false;
            }
            out += static_cast<char>(high * 16 + low);
            i += 2;
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

} // namespace

std::string encodeStoreLine(const std::string& name, const std::string& value) {
    return escapeStoreText(name, true) + "=" + escapeStoreText(value, false);
}

bool decodeStoreLine(const std::string& line, std::string& name, std::string& value) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) {
        return false;
    }
    return unescapeStoreText(line.substr(0, eq), name) &&
           unescapeStoreText(line.substr(eq + 1), value);
}

} // namespace sim
