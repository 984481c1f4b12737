// Choice dialogs: a title over up to 16 choices, in a box or bare (the title menus). Two can be
// open at once; the tick gives the input to the one activated last. Choosing runs the choice's
// callback, then the dialog fades out and dies. Dialogs keep running while the world is paused.
#pragma once

#include "object/go_base.h"
#include "platform/d3dx8.h"
#include "scenegraph/renderer_queue.h"
#include "scenegraph/text_glyph.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

constexpr int DIALOG_ITEMS = 17; // the title and 16 choices
constexpr std::size_t DIALOG_LABEL_SIZE = 256;
constexpr std::size_t DIALOG_SCRIPT_LABEL_SIZE = 80;

class GoWndDialog;
using DialogCallback = void (*)(GoWndDialog& dialog);

struct DialogItem {
    char label[DIALOG_LABEL_SIZE];
    DialogCallback callback;                     // may be null
    float row_x;                                 // from the box's centre
    float row_y;                                 // from the top of the box's inner area
    char script_label[DIALOG_SCRIPT_LABEL_SIZE]; // empty: none
};

class GoWndDialog : public GoBase {
public:
    GoWndDialog();

    // A list under the title (none: empty), at the box's centre x and inner top y.
    void Setup(const char* title, D3DXVECTOR2 at, bool with_typewriter_sound);
    // Appends a choice; nothing once the dialog holds 17 entries.
    void AddItem(const char* label, DialogCallback on_choose);
    // Makes and measures every entry's text surface, then sizes the box and places the rows.
    // Fatal when a surface cannot be made.
    void Layout();
    // Starts taking input, from now on, once the dialog also has the focus.
    void Activate();
    // The cancel key chooses the first choice with this script label; unchanged when none has it.
    void SetCancelByLabel(const char* label);
    // The entry's callback; nothing for the title or an index past the entries.
    void RunItem(std::int32_t index);
    void Update() override;
    // The row-13 callback; `user` is the dialog.
    static void Draw(RenderQueueItem* item, void* user);

    DialogItem items[DIALOG_ITEMS] = {}; // 0: the title
    std::int32_t count = 1;              // entries in use, the title included
    float alpha = 0.0f;
    std::int32_t reveal_position = 0; // 16.16 counted characters of the title shown
    std::int32_t reveal_end = 0;      // 16.16; 0x7FFF0000 for an empty title
    std::uint32_t show_time = 0;      // the frame clock's milliseconds at activation
    std::int32_t ticks_shown = 0;     // focused whole ticks since the title was revealed
    std::int32_t tick_sound_count = 0;
    std::uint8_t title_shown = 0; // the choices are drawn from then on
    std::uint8_t active = 0;
    std::uint8_t fast_reveal = 0;
    std::uint8_t close_request = 0; // closes as if decided, without running anything
    std::uint8_t focus = 0;         // written by the tick before each update
    std::uint8_t mouse_on_row = 0;  // a click then decides
    std::uint8_t armed = 0;         // decide, click (and cancel) were seen released while focused
    std::uint8_t decided = 0;       // fading out
    std::uint8_t typewriter_sound = 0;
    std::uint8_t no_box = 0;
    D3DXVECTOR2 position{};
    D3DXVECTOR2 box_size{192.0f, 64.0f}; // the inner area
    float widest = 0.0f;
    std::int32_t cursor = 1;       // the current choice
    std::int32_t cancel_item = -1; // -1: cancel does nothing
    std::uint8_t had_focus = 0;    // input on the previous whole tick
    TextSurface surfaces[DIALOG_ITEMS];

protected:
    // Releases the text surfaces.
    ~GoWndDialog() override;

private:
    bool IsChoice(std::int32_t index) const { return index >= 1 && index < count; }
    void HoverRow();
    void MoveCursor(std::int32_t step);
    bool TitleRevealed() const;
    void RevealTitle(bool has_input);
    bool Choose(bool has_input);
    void EndTick();
    void DrawSkin(D3DCOLOR color) const;
    void DrawItems(D3DCOLOR color);
    void DrawCursorBar(D3DCOLOR color) const;
};

// One choice of a dialog opened whole by dialog_open.
struct DialogChoice {
    const char* label;
    DialogCallback on_choose;
};

// A dialog from the pool, laid out and activated; null when the pool has none to give. A dialog
// whose texts cannot be made goes back to its pool before the error leaves, so the sweep never
// meets a half-built window.
GoWndDialog* dialog_open(const char* title, D3DXVECTOR2 at, std::initializer_list<DialogChoice> choices);

// The script label of the last choice made by the decide key or a click, when it had one.
extern char g_last_dialog_label[DIALOG_SCRIPT_LABEL_SIZE];
