// Error-explanation files: line-oriented text files that describe status
// codes, one set per language directory.
//
//   <?xml version="1.0"?>
//   <qvdocument>
//   <qverror code="-52006">
//   description lines
//   </qverror>
//   <qvcomment> ... </qvcomment>
//   </qvdocument>
//
// Each operation clears its result first, does nothing when the status
// already holds an error, and leaves the result empty on failure.
#pragma once

#include <cstdint>
#include <string>

#include "qverr/Status.h"

namespace kxErrorsParser {

// The description of `code` in one file: "" when the file does not describe
// it (or is not an explanation file), with CR/LF at its end removed.
void parseExplanationFile(const char* path, uint32_t code, std::string& result,
                          qverr::Status& status);
// The first description of `code` among the *.txt and *.err files of a
// directory.
void searchDirectory(const char* dirPath, uint32_t code, std::string& result,
                     qverr::Status& status);
// dirPath/<language directory> first, then dirPath itself.
void searchErrorsDirectory(const char* dirPath, uint32_t code, uint32_t lang, std::string& result,
                           qverr::Status& status);
// "English", "French", "German", "Japanese", "Korean", "ChineseS"; another
// number is -52005 and "".
const char* languageDirectory(uint32_t lang, qverr::Status& status);

}  // namespace kxErrorsParser
