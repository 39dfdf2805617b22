#pragma once

// Values of the script language. No libav here: clips are opaque to the
// language layer.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace engine {
class Clip;
using ClipPtr = std::shared_ptr<Clip>;
class WorkControl;
} // namespace engine

namespace engine::script {

struct Undefined
{
    bool operator==(const Undefined &) const = default;
};

// int is 32-bit signed, as in the script language; float is kept as double.
using Value = std::variant<Undefined, bool, std::int32_t, double, std::string, ClipPtr>;

enum class ArgType { Clip, Int, Float, Bool, String, Any };

// What a script is opened for. A built-in whose work only some uses need
// (crop detection decodes frames across the whole clip) asks for the use
// it serves.
enum class ScriptUse {
    Probe,     // Encode_GetFrame: only the clip's length and picture size count
    VideoPass, // the clip's pictures are encoded
    AudioPass, // the clip's sound is encoded
    Preview,   // single pictures are fetched, by index, as the video pass would encode them
};

// What a script is opened for; built-in functions may read it.
struct EvalContext
{
    std::string scriptFolder; // folder of the script file, ending in '/'; temporary files go here
    ScriptUse use = ScriptUse::Probe;
    // Stops and watches long work inside the clips this script makes; one
    // per script run (made by the evaluator when not given).
    std::shared_ptr<WorkControl> control;
};

struct Param
{
    std::string name; // for named arguments (name=value); matched without case
    ArgType type;
    bool optional = false;
    // Takes every consecutive positional argument of its type (one or more,
    // zero or more when optional). At most one per function. The first one
    // lands in CallArgs::values like any other; all of them in CallArgs::rest.
    bool variadic = false;
};

// Arguments bound to one function's parameters, in declaration order.
// Conversions are already applied: an Int parameter holds an int (a float
// given there is rounded to the nearest whole number), a Float parameter
// holds a double.
class CallArgs
{
public:
    std::vector<std::optional<Value>> values; // one per Param; empty when omitted
    std::vector<Value> rest;                  // every value bound to the variadic Param, in order
    int line = 0;                             // script line of the call, for messages
    const EvalContext *context = nullptr;     // never null during a call; valid only during the call

    bool has(std::size_t i) const { return i < values.size() && values[i].has_value(); }
    const ClipPtr &clip(std::size_t i) const;
    std::int32_t integer(std::size_t i, std::int32_t fallback = 0) const;
    double real(std::size_t i, double fallback = 0.0) const;
    bool boolean(std::size_t i, bool fallback = false) const;
    const std::string &text(std::size_t i) const;
    // The accessors above throw engine::Error when argument i is absent and
    // has no fallback, or holds another type (a binding fault).
};

// A built-in function. It throws engine::Error with a plain message (the
// evaluator prefixes the line and the function's name).
using Builtin = std::function<Value(const CallArgs &)>;

struct FunctionDef
{
    std::string name; // as written in scripts; lookup ignores case
    std::vector<Param> params;
    Builtin call;
};

// Lower-case form of a name (ASCII), the way names are compared.
std::string foldCase(std::string_view name);

// Words a user understands for a value's type: "a clip", "a number", ...
std::string describeType(const Value &v);

// Called with every value a built-in returns, before the script goes on
// (the clip layer hands each clip its script's WorkControl here).
using ResultHook = std::function<void(const Value &, const EvalContext &)>;

// Registry of built-in functions; overloads share a name and are tried in
// the order they were added.
class FunctionTable
{
public:
    void add(FunctionDef def);
    // All overloads of name (case-insensitive); empty when unknown.
    std::vector<const FunctionDef *> find(const std::string &name) const;

    // Adds a hook; every hook runs, in the order added.
    void addResultHook(ResultHook hook);
    void onResult(const Value &value, const EvalContext &context) const;

private:
    std::vector<FunctionDef> m_defs;
    std::vector<ResultHook> m_hooks;
};

} // namespace engine::script
