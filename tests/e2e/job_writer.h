// Writing job files for the program to send: the 3340-byte header and the list of
// extra attachment paths, little-endian, as the calling application writes them.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct JobFields {
    WORD directSend;
    std::string subject;        // template, 256-byte slot
    std::string body;           // template, 2048-byte slot
    std::string attachment;     // main attachment path, 256
    std::string document;       // document name, 256
    std::string sendTo;         // template, 256
    std::vector<std::string> extras;    // one 256-byte slot each
};

enum { JOB_HEADER_SIZE = 3340, JOB_SLOT_SIZE = 256 };

// The file's bytes.  Each text is copied into its zero-filled slot and cut to the
// slot's size (a text of exactly the slot's size has no NUL); the count written is
// extras.size() unless `count` says otherwise.
std::string JobBytes(const JobFields &fields, long count = -1);

bool WriteJobFile(const std::string &path, const JobFields &fields, long count = -1);
