// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace tollamere::draw {

// Shuts this process in, for good: from here on it may read files under
// `readable` only (Landlock, where the kernel has it), opens nothing for
// writing, starts no program or process and opens no socket (seccomp). What
// is already open stays usable. Raises std::runtime_error when the seccomp
// filter cannot be installed; a kernel without Landlock leaves reads to the
// filter's other rules, and `landlocked` says so.
void EnterSandbox(const std::vector<std::filesystem::path>& readable, bool& landlocked);

} // namespace tollamere::draw
