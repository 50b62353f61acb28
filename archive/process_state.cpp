#include "archive/process_state.h"

platform_file archive_file;
platform_file output_file;
byte_string output_path;
volatile uint8_t cancel_requested;
uint8_t end_of_archive;
