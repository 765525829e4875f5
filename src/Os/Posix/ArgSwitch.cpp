#include "ArgSwitch.h"

#include "../../core/CaseFold_p.h"

namespace {
char g_switchChar = '/';
} // namespace

ArgSwitch::ArgSwitch(int argc, char** argv, const char* name, int maxArgs, bool stopAtSwitch, bool)
    : found(false), count(0), args(nullptr) {
    if (argc < 2 || !argv)
        return;
    const char* wanted = name ? name : "";
    int at = 0;
    for (int i = 1; i < argc && !at; ++i)
        if (argv[i] && argv[i][0] == g_switchChar &&
            nvsupport::detail::caseBlindEqual(argv[i] + 1, wanted))
            at = i;
    if (!at)
        return;
    found = true;
    argv[at] = nullptr;
    // Only the entries after the switch can be taken.
    if (maxArgs >= argc - at)
        maxArgs = argc - at - 1;
    for (int i = at + 1; i < argc && i <= at + maxArgs; ++i) {
        if (!argv[i] || (stopAtSwitch && argv[i][0] == g_switchChar))
            break;
        if (!args)
            args = new YArray<JString>(4);
        args->add(JString(argv[i]));
        ++count;
        argv[i] = nullptr;
    }
}

ArgSwitch::~ArgSwitch() {
    delete args;
}

JString ArgSwitch::operator[](int index) const {
    if (index < 0 || index >= count)
        return JString();
    return (*args)[index];
}

void ArgSwitch::setSwitchChar(char c) {
    g_switchChar = c;
}
