#pragma once

// Entry points of the script language: run a script's text, or open a
// script file. The result is the clip the script's last statement yields.
//
// Errors: anything the script cannot run (a syntax error, an unknown
// function or variable, arguments that fit no signature, division by zero,
// or an engine::Error thrown by a built-in) is thrown as engine::Error whose
// message reads "Script error in line N: <reason>"; a built-in's own message
// is prefixed with its name ("Script error in line 7: DirectShowSource:
// cannot open ..."). Nothing else escapes.

#include "clip/error.h"
#include "script/value.h"

#include <string>
#include <string_view>

namespace engine::script {

// An error in a script, tied to its line (1-based; 0 when no line applies).
// what() is the complete message, line prefix included.
class ScriptError : public Error
{
public:
    ScriptError(int line, const std::string &reason);
    int line() const { return m_line; }

private:
    int m_line;
};

// Parses and evaluates text. Every statement runs in order; a bare
// expression that yields a clip becomes `last`. The result is the value of
// the last statement, which must be a clip (a script ending on an
// assignment fails). context is handed to every built-in call and need only
// live for the duration of this call.
ClipPtr runScript(std::string_view text, const FunctionTable &table, const EvalContext &context);

// Like runScript, but returns the last statement's value whatever its type
// (for tests and tools; a script ending on an assignment yields Undefined).
Value evaluateScript(std::string_view text, const FunctionTable &table, const EvalContext &context);

// Reads the script file at path (8-bit text, CR LF or LF line ends) and runs
// it with scriptFolder = the file's folder (ending in '/') and the given
// use. A file that cannot be read throws engine::Error naming it.
ClipPtr openScriptFile(const std::string &path, const FunctionTable &table, ScriptUse use);

} // namespace engine::script
