#pragma once

// The snapshot builder lives in the sample library; tests keep their old names.
#include "sample/snapshotbuilder.h"
#include "support/archivedbodies.h"
#include "support/smsdatabasebuilder.h"

namespace quorlin::testing {
using quorlin::sample::DeviceValues;
using quorlin::sample::fileIDFor;
using quorlin::sample::SnapshotBuilder;
} // namespace quorlin::testing
