// Opening the files the program reads: only regular files on disk, opened without sharing (a file
// that another process holds counts as one that can't be opened). A device, a pipe or a folder under
// the name is no firmware and never gets the chance to make a read wait.
#pragma once

#include <windows.h>

#include <string>

#include "firmware/FileTime.h"
#include "firmware/LineReader.h"
#include "framework/Handles.h"

namespace firmware {

// Empty when the path can't name a file by itself, can't be opened, or opens something other than
// a regular file.
framework::FileHandle OpenRegularFile(const std::string& path);

// Reads an open file from where it stands, block by block.
class FileSource : public ByteSource {
public:
    explicit FileSource(HANDLE file) : file_(file) {}
    bool Read(std::span<char> buffer, std::size_t& got) override;

private:
    HANDLE file_;
};

// The file's last write in local time, by the rules in force on that date; false when unknown.
bool LastWriteLocalTime(HANDLE file, LocalTime& local);

// One or more WriteFile calls until every byte is taken; false on any failure or short write.
bool WriteAll(HANDLE file, const void* data, size_t size);

}  // namespace firmware
