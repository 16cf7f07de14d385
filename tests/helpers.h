// Shared set-up for the host tests: a plain job, written by velmora-job's encoder, and
// a world with the product installed.
#pragma once

#include "resources/resource.h"
#include "testkit/fake/world.h"

#include "tools/common/job_encoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using velmora_job::EncodeJob;
using velmora_job::Job;
using velmora_job::Unchecked;

// The job most tests start from: a subject, a body of two lines, an attachment.
Job PlainJob();

extern const char ClientPath[];         // long paths as the installation wrote them
extern const char DatabasePath[];
extern const char ClientShortPath[];    // and their short forms
extern const char DatabaseShortPath[];
extern const char JobPath[];

// A fresh world with the Notes client and the product database installed.
void InstallProduct();
