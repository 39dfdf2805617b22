#pragma once

// Tokens of the script language. Internal to the language layer.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine::script {

enum class TokenType {
    Identifier,
    Integer,
    Float,
    String,
    LeftParen,
    RightParen,
    Comma,
    Assign,
    Dot,
    Plus,
    Minus,
    Star,
    Slash,
    Percent,
    Newline, // a statement ends here
    End,     // the end of the script
};

struct Token
{
    TokenType type;
    std::string text;         // identifier as written, or string contents
    std::int32_t integer = 0; // TokenType::Integer
    double real = 0.0;        // TokenType::Float
    int line = 1;             // 1-based line where the token starts
};

// Splits a whole script into tokens, ending with End. CR LF, LF and a lone
// CR each end a line; '#' starts a comment that runs to the end of the line.
// Throws ScriptError (unterminated string, unexpected character, a number
// out of range).
std::vector<Token> tokenize(std::string_view text);

// How a token reads in a message: 'x', "end of line", "end of script".
std::string describeToken(const Token &token);

} // namespace engine::script
