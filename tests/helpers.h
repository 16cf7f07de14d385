// Shared set-up for the host tests: a job file written from fields, and a world with
// the product installed.
#pragma once

#include "resources/resource.h"
#include "tests/fake/world.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct JobFields {
    unsigned directSend = 0;
    std::string subject = "Devis [DOC]";
    std::string body = "Bonjour,\r\nci-joint le devis.";
    std::string attachment = "C:\\Devis\\A12.pdf";
    std::string documentName = "A12";
    std::string sendTo = "client@example.com";
    std::vector<std::string> extras;
    long extraCount = -1;           // the count written: -1 the number of extras
};

// The bytes of a job file.  Texts longer than their slot are cut without a NUL.
std::string JobBytes(const JobFields &job);

extern const char ClientPath[];         // long paths as the installation wrote them
extern const char DatabasePath[];
extern const char ClientShortPath[];    // and their short forms
extern const char DatabaseShortPath[];
extern const char JobPath[];

// A fresh world with the Notes client and the product database installed.
void InstallProduct();

std::vector<UINT> Boxes();
