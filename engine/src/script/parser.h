#pragma once

// Syntax tree of a script and the parser that builds it. Internal to the
// language layer: the whole script is parsed before anything runs, so a
// syntax error never leaves sources half opened.

#include "script/lexer.h"
#include "script/value.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace engine::script {

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;

struct Argument
{
    std::string name; // empty for a positional argument
    ExprPtr value;
};

struct Expr
{
    enum class Kind { Literal, Name, Call, Unary, Binary };

    Kind kind = Kind::Literal;
    int line = 1;
    Value literal;               // Literal
    std::string name;            // Name, Call: as written
    std::vector<Argument> args;  // Call
    bool method = false;         // Call written as x.f(...): no implicit last
    TokenType op = TokenType::Plus; // Unary, Binary
    ExprPtr left;                // Unary operand, Binary left
    ExprPtr right;               // Binary right
    // Levels of the tree from this node down. The parser bounds it, so that
    // evaluating and freeing the tree (both recursive) cannot exhaust the
    // stack, whatever the script.
    int height = 1;
};

struct Statement
{
    int line = 1;
    std::string target; // variable assigned, as written; empty for a bare expression
    ExprPtr value;
};

// Parses a whole script. Throws ScriptError at the first syntax error.
std::vector<Statement> parseScript(std::string_view text);

} // namespace engine::script
