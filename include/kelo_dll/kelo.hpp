// SPDX-License-Identifier: Apache-2.0
/** @file
 * The C++ API of kelo_dll (C++17, header-only, over the C API of
 * kelo_dll.h, so it works the same with every build of the library and
 * crosses no C++ ABI):
 *
 * - kelo::Scanner: a connection, opened in its constructor, closed in its
 *   destructor, one method per thing an application does; kelo::Error
 *   where a call fails.
 * - kelo::SyncGuard: leaves sync mode on every way out of a scope.
 * - kelo::Stream, kelo::LargeStream: synchronised acquisition on a thread
 *   of its own, batches handed over by callback or bounded queue.
 * - kelo::Group, kelo::GroupStream: the same for scanners driven together.
 * - kelo::discover: the scanners on the local networks, ready to open.
 */
#ifndef KELO_DLL_KELO_HPP
#define KELO_DLL_KELO_HPP

#include "cpp/error.hpp"
#include "cpp/sync.hpp"
#include "cpp/scanner.hpp"
#include "cpp/batch_queue.hpp"
#include "cpp/stream.hpp"
#include "cpp/group.hpp"
#include "cpp/discovery.hpp"

#endif
