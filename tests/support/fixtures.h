#pragma once

// Everything tests need to build snapshot folders and Messages databases.
#include "support/archivedbodies.h"
#include "support/smsdatabasebuilder.h"
#include "support/snapshotbuilder.h"
