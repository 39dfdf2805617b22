// Fuzzes the encoder library's script language: any bytes as a script for a
// video pass, against the engine's real function table with its sources
// faked (support/script_table.h). Every input evaluates or throws
// engine::Error; anything else escapes and aborts, which libFuzzer reports.

#include "support/script_table.h"

#include "script/script.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const engine::script::FunctionTable table = support::scriptTableWithFakeSources();
    engine::script::EvalContext context;
    context.scriptFolder = "/tmp/velmora-fuzz/";
    context.use = engine::script::ScriptUse::VideoPass;
    try {
        (void)engine::script::evaluateScript(std::string_view(reinterpret_cast<const char *>(data), size), table, context);
    } catch (const engine::Error &) {
    }
    return 0;
}
