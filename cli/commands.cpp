#include "commands.h"

#include <algorithm>
#include <cstring>

namespace {
std::vector<SCommand>& Registry()
{
    static std::vector<SCommand> commands;
    return commands;
}

std::vector<std::function<void()>>& SetupHooks()
{
    static std::vector<std::function<void()>> hooks;
    return hooks;
}
}

CCommandRegistrar::CCommandRegistrar(const char* name, const char* usage, std::function<int(const QStringList&)> run)
{
    Registry().push_back({name, usage, std::move(run)});
}

CCommandRegistrar::CCommandRegistrar(std::function<void()> setupHook)
{
    SetupHooks().push_back(std::move(setupHook));
}

const std::vector<SCommand>& Commands()
{
    std::vector<SCommand>& commands = Registry();
    std::sort(commands.begin(), commands.end(),
              [](const SCommand& a, const SCommand& b) { return std::strcmp(a.name, b.name) < 0; });
    return commands;
}

void RunCommandSetupHooks()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    for (const auto& hook : SetupHooks())
        hook();
}
