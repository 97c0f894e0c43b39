// Whole-file reads and writes for files the program opens without sharing: a file that another
// process holds counts as one that can't be opened.
#pragma once

#include <windows.h>

#include <string>

namespace firmware {

enum class ReadStatus { Ok, OpenFailed, ReadFailed };

ReadStatus ReadExclusive(const std::string& path, std::string& bytes);

// One or more WriteFile calls until every byte is taken; false on any failure or short write.
bool WriteAll(HANDLE file, const void* data, size_t size);

}  // namespace firmware
