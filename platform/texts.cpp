// Compiled with -fexec-charset=CP932: every literal below is stored as the
// code page 932 bytes of the text written here.
#include "platform/texts.h"

const char banner_caption[] = "Quorvex Ver 1.51 - (C) the Quorvex authors";

namespace {
constexpr uint32_t icon_hand = 0x10, icon_question = 0x20, icon_exclamation = 0x30, icon_asterisk = 0x40;
constexpr uint32_t yes_no = 0x04, yes_no_cancel = 0x03;

const message_text messages[message_count] = {
    /* message_read_failure    */ {"ファイルの読み込みに失敗しました。", icon_hand, true, false},
    /* message_write_failure   */ {"ファイルの書き込みに失敗しました。", icon_hand, true, false},
    /* message_damaged         */ {"ファイルが壊れています。", icon_hand, true, false},
    /* message_smaller         */
    {"ファイルのサイズが元々のファイルより小さいです。解凍できません。", icon_hand, false, false},
    /* message_larger          */
    {"ファイルのサイズが元々のファイルより大きいです。このファイルはウイルスに感染している可能性があります。"
     "解凍できません。",
     icon_hand, false, false},
    /* message_wrong_password  */ {"パスワードが違います。", icon_exclamation, true, false},
    /* message_create_folder   */
    {"指定されたフォルダはありません。このフォルダを作りますか？", yes_no | icon_question, true, false},
    /* message_folder_not_made */ {"フォルダが作れません。", icon_hand, true, false},
    /* message_folder_failure  */ {"フォルダが作れませんでした:", icon_hand, true, false},
    /* message_overwrite       */ {"はすでに存在します。上書きしますか？", yes_no_cancel | icon_question, true, true},
    /* message_cancelled       */ {"ファイルの解凍を中断しました。", icon_asterisk, true, false},
    /* message_finished        */ {"ファイルの解凍が終わりました。", icon_asterisk, true, false},
    /* message_launch_failed   */ {"が実行できませんでした。", icon_hand, true, true},
    /* message_unsafe_name     */ {"ファイル名が不正です:", icon_hand, true, false},
    /* message_path_too_long   */ {"パス名が長すぎます:", icon_hand, true, false},
};

const char* const status_prefixes[] = {"処理中:", "解凍中:", "スキップ中:"};
}  // namespace

const message_text& message_text_of(message_id id) { return messages[id]; }

const char* status_prefix_of(status_id id) { return status_prefixes[id]; }

void compose_message(message_id id, const char* detail, byte_string* out) {
  const message_text& m = messages[id];
  text_clear(out);
  if (m.detail_first && detail) text_append_c_str(out, detail);
  text_append_c_str(out, m.text);
  if (!m.detail_first && detail) text_append_c_str(out, detail);
}

void compose_status(status_id id, const char* full_path, byte_string* out) {
  text_assign_c_str(out, status_prefixes[id]);
  text_append_c_str(out, full_path);
}
