// The engine's status table: every row named and explained once, the OpenCL translations with
// their fixed codes, and which statuses each layer passes on.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/clapi.h"
#include "engine/status.h"

namespace tsr::test {
namespace {

TEST(StatusTable, EveryCodeHasOneNameAndAMessage) {
    std::set<int> codes;
    std::set<std::string> names;
#define TSR_CHECK_ROW(name, code, source, clError, message)                                                  \
    EXPECT_TRUE(codes.insert(code).second) << #name;                                                         \
    EXPECT_TRUE(names.insert(#name).second) << #name;                                                        \
    EXPECT_STREQ(#name, StatusName(code));                                                                   \
    EXPECT_STREQ(message, StatusMessage(code));                                                              \
    EXPECT_NE(std::string(), message) << #name;
    TSR_ENGINE_STATUSES(TSR_CHECK_ROW)
#undef TSR_CHECK_ROW
    for (const int unknown : {1, -10, -65, -106, -130, -147, -174})
        EXPECT_EQ(nullptr, StatusMessage(unknown)) << unknown;
}

// The codes callers compare: each OpenCL error of a step, and the step's code for the rest.
TEST(StatusTable, OpenCLErrorsKeepTheirCodes) {
    const struct {
        StatusSource source;
        std::initializer_list<std::pair<cl_int, int>> map;
    } cases[] = {
        {StatusSource::Program,
         {{CL_INVALID_CONTEXT, -101},
          {CL_INVALID_VALUE, -102},
          {CL_INVALID_DEVICE, -103},
          {CL_INVALID_BINARY, -104},
          {CL_OUT_OF_HOST_MEMORY, -105},
          {CL_SUCCESS, -100},
          {CL_INVALID_KERNEL, -100}}},
        {StatusSource::Build,
         {{CL_INVALID_PROGRAM, -121},
          {CL_INVALID_VALUE, -122},
          {CL_INVALID_DEVICE, -123},
          {CL_INVALID_BINARY, -124},
          {CL_INVALID_BUILD_OPTIONS, -125},
          {CL_INVALID_OPERATION, -126},
          {CL_COMPILER_NOT_AVAILABLE, -127},
          {CL_BUILD_PROGRAM_FAILURE, -128},
          {CL_OUT_OF_HOST_MEMORY, -129},
          {CL_INVALID_CONTEXT, -120}}},
        {StatusSource::Kernel,
         {{CL_INVALID_PROGRAM, -141},
          {CL_INVALID_PROGRAM_EXECUTABLE, -142},
          {CL_INVALID_KERNEL_NAME, -143},
          {CL_INVALID_KERNEL_DEFINITION, -144},
          {CL_INVALID_VALUE, -145},
          {CL_OUT_OF_HOST_MEMORY, -146},
          {CL_SUCCESS, -140}}},
        {StatusSource::Enqueue,
         {{CL_INVALID_PROGRAM_EXECUTABLE, -161},
          {CL_INVALID_COMMAND_QUEUE, -162},
          {CL_INVALID_KERNEL, -163},
          {CL_INVALID_CONTEXT, -164},
          {CL_INVALID_KERNEL_ARGS, -165},
          {CL_INVALID_WORK_DIMENSION, -166},
          {CL_INVALID_WORK_GROUP_SIZE, -167},
          {CL_INVALID_WORK_ITEM_SIZE, -168},
          {CL_INVALID_GLOBAL_OFFSET, -169},
          {CL_OUT_OF_RESOURCES, -170},
          {CL_MEM_OBJECT_ALLOCATION_FAILURE, -171},
          {CL_INVALID_EVENT_WAIT_LIST, -172},
          {CL_OUT_OF_HOST_MEMORY, -173},
          {CL_INVALID_VALUE, -160}}},
    };
    for (const auto& c : cases)
        for (const auto& [error, code] : c.map)
            EXPECT_EQ(code, StatusForCLError(c.source, error)) << static_cast<int>(c.source) << " " << error;
}

TEST(StatusTable, WhatEachLayerPassesOn) {
    const struct {
        int status;
        bool chain, entryPoint;
    } cases[] = {
        {0, true, true},     {-1, false, true},   {-2, false, false},   {-3, false, true},
        {-4, false, true},   {-5, true, true},    {-6, true, true},     {-7, false, true},
        {-8, true, true},    {-9, false, true},   {-60, true, true},    {-64, true, true},
        {-100, true, true},  {-129, true, true},  {-146, true, true},   {-173, true, true},
        {-10, false, false}, {-65, false, false}, {-174, false, false}, {5, false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.chain, IsChainStatus(c.status)) << c.status;
        EXPECT_EQ(c.entryPoint, IsEntryPointStatus(c.status)) << c.status;
    }
    EXPECT_EQ(S_OK, StatusHResult(kStatusOk));
    EXPECT_EQ(E_FAIL, StatusHResult(kStatusBuildProgramFailure));
}

} // namespace
} // namespace tsr::test
