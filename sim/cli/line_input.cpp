#include "sim/cli/line_input.h"

#include <cstdlib>
#include <iostream>

#include "sim/host/module_loader.h"

#ifdef KLARNA_SIM_HAVE_LIBEDIT
#include <editline/readline.h>
#endif

namespace sim {

LineInput::LineInput(std::istream& in, std::ostream& out) : in_(in), out_(out) {
    echo_ = &in_ != &std::cin || !inputIsTerminal();
#ifdef KLARNA_SIM_HAVE_LIBEDIT
    editing_ = &in_ == &std::cin && &out_ == &std::cout && inputIsTerminal() && outputIsTerminal();
    if (editing_) {
        using_history();
        if (const char* home = std::getenv("HOME")) {
            historyFile_ = std::string(home) + "/.klarna-sim_history";
            read_history(historyFile_.c_str());
        }
    }
#endif
}

LineInput::~LineInput() {
#ifdef KLARNA_SIM_HAVE_LIBEDIT
    if (editing_ && !historyFile_.empty()) {
        write_history(historyFile_.c_str());
    }
#endif
}

bool LineInput::read(const std::string& prompt, std::string& line) {
#ifdef KLARNA_SIM_HAVE_LIBEDIT
    if (editing_) {
        out_.flush();
        char* typed = readline(prompt.c_str());
        if (typed == nullptr) {
            return false;
        }
        line = typed;
        std::free(typed);
        if (!line.empty()) {
            add_history(line.c_str());
        }
        return true;
    }
#endif
    out_ << prompt << std::flush;
    if (!std::getline(in_, line)) {
        return false;
    }
    if (echo_) {
        out_ << line << '\n';
    }
    return true;
}

} // namespace sim
