// The words of the script language, shared by the lexer (which classifies
// words against them) and the parser (which names them in its errors).
#pragma once

namespace qvwfmscriptcompiler::keywords {

inline constexpr const char* kScript = "script";
inline constexpr const char* kEnd = "end";
inline constexpr const char* kGenerate = "generate";
inline constexpr const char* kSubset = "subset";
inline constexpr const char* kRepeat = "repeat";
inline constexpr const char* kIf = "if";
inline constexpr const char* kElse = "else";
inline constexpr const char* kBreak = "break";
inline constexpr const char* kForever = "forever";
inline constexpr const char* kUntil = "until";
inline constexpr const char* kOn = "on";
inline constexpr const char* kWait = "wait";
inline constexpr const char* kClear = "clear";
inline constexpr const char* kStream = "stream";
inline constexpr const char* kSlash = "/";
inline constexpr const char* kOpenParenthesis = "(";
inline constexpr const char* kCloseParenthesis = ")";
inline constexpr const char* kComma = ",";
inline constexpr const char* kIntegerList = "1,2,3,...";
inline constexpr const char* kNone = "";

}  // namespace qvwfmscriptcompiler::keywords
