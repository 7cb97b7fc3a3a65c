#pragma once

#include "runtime/forms/CVWnd_Container.h"
#include "runtime/forms/CVolWinContainer.h"
#include "runtime/forms/IContainerEventListener.h"

// A container window of class "VolContainer" that paints its background. A derived panel
// gives its designed client size and creates its children through the hooks.
class CVolWinPanel : public CVolWinContainer, public IContainerEventListener {
public:
    CVolWinPanel();
    ~CVolWinPanel() override;

    // The designed client size in pixels, already scaled; 0 for no preference. Used when
    // the panel is created with its width or height left to the default.
    virtual int ClientWidth() const { return 0; }
    virtual int ClientHeight() const { return 0; }
    // Creates the children; runs on the window's WM_CREATE, before WindowCreated.
    virtual void CreateChildren() {}

    COLORREF BackColour() const;
    void SetBackColour(COLORREF colour);
    bool Transparent() const;
    void SetTransparent(bool transparent);

    EventSlot<> WindowCreated;
    EventSlot<> Destroyed;
    EventSlot<int, int> Resized;  // new client width and height
    EventSlot<int> Shown;         // the shown flag (1)
    EventSlot<int> Hidden;        // the shown flag (0)
    EventSlot<int, int> Moved;    // new client position

    // IContainerEventListener
    int OnWindowMessage(WindowMessage& message) override;
    void OnWindowCreate() override;
    void OnWindowDestroy() override;
    void OnWindowSize(UINT sizeType, int width, int height) override;
    void OnWindowShow(bool shown) override;
    void OnWindowMove(int x, int y) override;

protected:
    explicit CVolWinPanel(std::unique_ptr<CVWnd_Container> window);

    void ConnectListener(bool attach) override;
    void SettleSize(ControlCreateInfo& info) override;
    bool CreateKindWindow(ControlCreateInfo& info) override;
    bool RepaintsOnCaption() const override { return false; }
};
