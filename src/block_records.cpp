#include "block_records.h"

block_records run_records;
