#pragma once

#include <windows.h>

#include <memory>

#include "runtime/events/CRefObject.h"
#include "runtime/forms/CVWnd.h"
#include "runtime/text/CWString.h"
#include "runtime/win32/ScopedResource.h"

// The reference-counted holder of one control's native window object and of the
// properties kept while no window exists: caption, style, extended style and the font
// made at the first creation. The control holds one reference; each message being
// processed holds another. The last release destroys the window; deleting the holder then
// deletes the native object and the font.
class CMfcWndObject final : public CRefObject {
public:
    explicit CMfcWndObject(std::unique_ptr<CVWnd> window);

    CVWnd& Window() const { return *window_; }

    const CWString& Caption() const { return caption_; }
    void SetCaption(const CWString& caption) { caption_ = caption; }
    DWORD Style() const { return style_; }
    void SetStyle(DWORD style) { style_ = style; }
    DWORD ExStyle() const { return exStyle_; }
    void SetExStyle(DWORD exStyle) { exStyle_ = exStyle; }
    // The control's own font, made the first time it is asked for.
    HFONT EnsureFont();
    HFONT Font() const { return font_.Get(); }
    // Takes `font` as the control's own; answers the one it had, for the caller to delete
    // once the window has let go of it.
    ScopedFont ReplaceFont(ScopedFont font);

private:
    ~CMfcWndObject() override = default;
    void LastRelease() override;

    CWString caption_;
    DWORD style_ = WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle_ = 0;
    // Declared before the native object, so that it is deleted after it.
    ScopedFont font_;
    std::unique_ptr<CVWnd> window_;
};
