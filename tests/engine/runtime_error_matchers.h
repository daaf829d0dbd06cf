// SPDX-License-Identifier: MIT
#pragma once

#include "runtime_error.h"

#include <gtest/gtest.h>

// Expects the statement to raise the run-time error with that number.
#define EXPECT_RUNTIME_ERROR(statement, errorNumber)                                       \
    do {                                                                                   \
        try {                                                                              \
            statement;                                                                     \
            ADD_FAILURE() << #statement " raised nothing";                                 \
        } catch (const ::tollamere::RuntimeError& raisedError) {                                 \
            EXPECT_EQ(raisedError.Number(), errorNumber) << #statement ": " << raisedError.Description(); \
        }                                                                                  \
    } while (false)
