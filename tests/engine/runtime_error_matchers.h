#pragma once

#include "runtime_error.h"

#include <gtest/gtest.h>

// Expects the statement to raise the run-time error with that number.
#define EXPECT_RUNTIME_ERROR(statement, errorNumber)                                       \
    do {                                                                                   \
        try {                                                                              \
            statement;                                                                     \
            ADD_FAILURE() << #statement " raised nothing";                                 \
        } catch (const ::tollamere::RuntimeError& error) {                                 \
            EXPECT_EQ(error.Number(), errorNumber) << #statement ": " << error.Description(); \
        }                                                                                  \
    } while (false)
