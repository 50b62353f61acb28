// The extractor's own texts, as code page 932 bytes, and how each message is
// shown: its Win32 flags, whether the setup window owns it, and where the
// detail (a path or a name) goes.
#pragma once
#include <stdint.h>

#include "platform/byte_string.h"
#include "platform/platform.h"

// Caption of the setup window and of every message box.
extern const char banner_caption[];

struct message_text {
  const char* text;
  uint32_t flags;        // MB_* flags of MessageBoxA
  bool owned;            // false: the box has no owner window
  bool detail_first;     // true: detail, then text; false: text, then detail
};

const message_text& message_text_of(message_id id);
const char* status_prefix_of(status_id id);

// The full text of a message with its detail, as MessageBoxA shows it.
void compose_message(message_id id, const char* detail, byte_string* out);
// "処理中:" and the like, followed by the path.
void compose_status(status_id id, const char* full_path, byte_string* out);
