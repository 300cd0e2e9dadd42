// A table of named status codes with their values typed in from the
// definition: comparing each name with its typed value catches a wrong
// constant that every other test, comparing against the name, would accept.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>

namespace qvtest {

struct NamedCode {
    const char* name;
    int64_t constant;
    int64_t value;
};

inline void expectAgreedValues(std::initializer_list<NamedCode> codes) {
    for (const NamedCode& code : codes) EXPECT_EQ(code.constant, code.value) << code.name;
}

}  // namespace qvtest

// One row: the constant's text, the constant, and the value typed in.
#define QV_NAMED_CODE(constant, value)                                             \
    ::qvtest::NamedCode {                                                          \
#constant, static_cast < int64_t>(constant), static_cast < int64_t>(value) \
    }
