#pragma once
// The editor object of one plug-in instance: an ordered list of controls, a back buffer of the
// editor's size into which they paint, the per-tick redraw of dirty controls, the input routing
// to the control under the pointer and the parameter binding in both directions. Everything
// that needs a window system is a virtual operation of a platform subclass.
//
// Ownership: the plug-in base owns the editor from AttachEditor on; the editor owns its
// controls, its key catcher and its back buffer. Decoded images and bitmap records belong to
// process-wide registries (IGraphicsCaches.h) and outlive every editor.
//
// Threads: the window timer, painting, input and prompts run on the host's user-interface
// thread without the instance mutex. PushParamToControls and DimParamControls also run on the
// parameter and audio threads with the instance mutex held; they touch only per-control atomic
// state (IControl.h). The control list does not change once the editor is attached.

#include <cstdint>
#include <string>
#include <vector>

#include "igraphics/IGraphicsStructs.h"
#include "igraphics/IPopupMenu.h"
#include "iplug/IPlugBase.h" // IGraphicsViewContainer

class IControl;
class IPlugBase;
class IPlugParam;
class LICE_SysBitmap;

class IGraphics {
public:
  // framesPerSecond <= 0 means 60.
  IGraphics(IPlugBase* plug, int width, int height, int framesPerSecond = 0);
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // --- platform operations, in their fixed order; reserved slots have no caller ---------------
  // User-interface thread, without the instance mutex, unless a comment says otherwise.
  // Copies rect of the back buffer to the screen.
  virtual bool PresentRect(const ControlRect& rect) = 0;
  virtual bool MeasureLabel(TextStyle& style, const char* text, ControlRect& rect);
  virtual void CancelTextEntry() = 0;
  virtual void SetEditorSize(int width, int height);
  virtual bool IsWindowOpen() { return WindowHandle() != nullptr; }
  virtual const char* DrawingApiName() { return ""; }
  virtual int ShowMessage(const char* text, const char* caption, int type) = 0;
  // Returns the menu (menu itself or one of its submenus) that holds the chosen item, with its
  // chosenIndex set; null when nothing was chosen.
  virtual PopupMenu* ShowPopupMenu(PopupMenu* menu, const ControlRect& rect) = 0;
  // Opens a text entry over rect for control; param (may be null) filters what can be typed and
  // turns the text into a value when the entry is applied.
  virtual void ShowTextEntry(IControl* control, const TextStyle& style, const ControlRect& rect,
                             const char* text, IPlugParam* param) = 0;
  virtual void HostDirectory(std::string& out) = 0;
  virtual void PluginDirectory(std::string& out) = 0;
  virtual void DesktopDirectory(std::string& out) = 0;
  virtual void DocumentsDirectory(std::string& out) = 0;
  virtual void AppDataDirectory(std::string& out, bool common) = 0;
  virtual void UserAppDataDirectory(std::string& out) = 0;
  // action 1 saves, anything else opens; file becomes "" when the user cancels.
  virtual void AskForFile(std::string& file, int action, std::string& directory,
                          const char* extensions) = 0;
  virtual bool AskForColour(ControlColor& colour, const char* prompt) = 0;
  virtual bool OpenWebPage(const char* url, const char* caption, const char* confirmText,
                           const char* errorText) = 0;
  virtual bool ReservedSlot18() { return false; }
  // parent is the host's window; returns the editor window, or null on failure.
  virtual void* OpenEditorWindow(void* parent) = 0;
  virtual void ReservedSlot20() {}
  virtual void ReservedSlot21() {}
  virtual void CloseEditorWindow() = 0;
  virtual void* WindowHandle() = 0;
  virtual bool ClipboardText(std::string& out) = 0;
  // Deletes the key catcher, the controls from the last to the first, then the back buffer.
  virtual ~IGraphics();
  virtual double ScreenScale() = 0;
  virtual void SetCursorShape(int /*shape*/) {}
  virtual void HideCursor() {}
  virtual void RestoreCursor() {}
  virtual void ReservedSlot30() = 0;
  // A new image decoded from the module's PNG resource id (the name's extension must be png),
  // owned by the caller; null on any failure.
  virtual LICE_IBitmap* LoadPngResource(int resourceId, const char* name) = 0;
  // --- after the fixed slots --------------------------------------------------------------------
  // Whether OpenEditorWindow makes a window of the system's (false for the headless editor).
  virtual bool HasSystemWindow() const { return false; }
  // Any thread: copies the frame the open window shows (width x height at least the editor's
  // size, rows rowPixels apart) without painting; false without an open system window.
  virtual bool CopyPresentedFrame(uint32_t* /*pixels*/, int /*width*/, int /*height*/,
                                  int /*rowPixels*/) {
    return false;
  }

  // --- control list (plug-in constructor, before AttachEditor) ---------------------------------
  // Takes ownership; returns the control's index.
  int AddControl(IControl* control);
  // An opaque, unbound bitmap control at (0, 0) inserted below every other control.
  void AddBackground(int resourceId, const char* name);
  int NControls() const { return static_cast<int>(controls_.size()); }
  IControl* GetControl(int idx) const {
    return idx >= 0 && idx < NControls() ? controls_[idx] : nullptr;
  }

  // --- parameter binding (any thread, instance mutex held) ------------------------------------
  // Gives value (plain unless normalized) to every control bound to paramIdx, and to the first
  // aux slot of each control bound to it.
  void PushParamToControls(int paramIdx, double value, bool normalized);
  void DimParamControls(int paramIdx, bool dim);

  // --- bitmaps and painting (controls' Paint, user-interface thread) --------------------------
  // A record for the image of resourceId in this frame layout; the image is decoded once per id
  // and process and shared by every record of that id, and the same layout of the same image
  // gives the same record. Never null; the record's image is null (it paints nothing) when the
  // resource cannot be loaded, and a later call tries again.
  BitmapRef* LoadBitmapResource(int resourceId, const char* name, int frameCount = 1,
                                bool framesHorizontal = false);
  // Draws bitmap with source offset (sx, sy) into dest, clipped to the redraw in progress. A
  // null blend is Normal at weight 1.0.
  bool PaintBitmap(const BitmapRef* bitmap, const ControlRect& dest, int sx, int sy,
                   const ControlBlend* blend);
  // frame counts from 1; frames past the first are taken along the image's frame direction.
  bool PaintBitmapFrame(const BitmapRef* bitmap, const ControlRect& dest, int frame,
                        const ControlBlend* blend);
  // GDI text: draws text in rect of the back buffer, or with measure only measures it and places
  // rect around it by the style's alignment. False when no font can be made for the style (there
  // are no system fonts outside Windows); true for an empty text.
  bool DrawLabel(TextStyle& style, const char* text, ControlRect& rect, bool measure = false);
  // The font of the style from the process-wide font cache, made on first use; null when none
  // can be made. Also stored in style.cachedFont.
  LICE_CachedFont* FontForStyle(TextStyle& style);
  // Places rect around a measured text of width x height: from its left edge (left-aligned),
  // around its centre, or up to its right edge; its top stays. No platform needed.
  static void PlaceMeasuredText(const TextStyle& style, int width, int height, ControlRect& rect);

  // --- redraw (window timer and paint, user-interface thread) ---------------------------------
  // Makes the back buffer of the editor's size, replacing (and deleting) an existing one.
  // AttachEditor, under the instance mutex, before any window exists.
  void CreateDrawBitmap();
  // Unites the rects of every control that needs painting into rect (empty on entry); true when
  // there was one. Walks the list once and allocates nothing.
  bool CollectDirtyRect(ControlRect& rect);
  // Paints the visible controls that rect meets, lets every control forget its repaint, and
  // presents rect. An editor without controls paints and presents nothing.
  bool RedrawRect(const ControlRect& rect);

  // --- input (window procedure; editor coordinates) -------------------------------------------
  void PressMouse(int x, int y, const MouseMods& mods);
  void ReleaseMouse(int x, int y, const MouseMods& mods);
  void DragMouse(int x, int y, const MouseMods& mods);
  // True when the window is to capture the mouse (the control takes double clicks as presses).
  bool DoubleClickMouse(int x, int y, const MouseMods& mods);
  void TurnWheel(int x, int y, const MouseMods& mods, int notches);
  // False when no control took the key: the window passes it on to the host.
  bool PressKey(int x, int y, int key);
  // The hover tracking switch; with it on, the control under the pointer is told.
  bool HoverMouse(int x, int y, const MouseMods& mods);
  void LeaveMouse();
  // Index of the topmost visible, undimmed control hit at (x, y), or -1.
  int HitSearch(int x, int y) const;

  // --- prompts (user-interface thread) ------------------------------------------------------
  // A popup menu of the display texts for Enum parameters and Bools with display texts, a text
  // entry holding the value otherwise. The answer reaches control through ReceiveUserValue.
  void AskForParamValue(IControl* control, IPlugParam* param, const ControlRect* rect);

  // --- accessors ---------------------------------------------------------------------------------
  IPlugBase* Plug() const { return plug_; }
  // The back buffer, null before CreateDrawBitmap; pixels live as long as the editor.
  LICE_SysBitmap* GetDrawBitmap() const { return drawBitmap_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  int FramesPerSecond() const { return framesPerSecond_; }
  const ControlRect& RedrawRectInProgress() const { return redrawRect_; }
  int CaptureIndex() const { return captureIndex_; }
  int HoverIndex() const { return hoverIndex_; }
  int LastMouseX() const { return lastMouseX_; }
  int LastMouseY() const { return lastMouseY_; }
  bool TrackHover() const { return trackHover_; }
  void SetTrackHover(bool on) { trackHover_ = on; }
  bool TooltipsEnabled() const { return tooltipsEnabled_; }
  void SetTooltipsEnabled(bool on) { tooltipsEnabled_ = on; }
  IControl* KeyCatcher() const { return keyCatcher_; }
  // Takes ownership (a previous catcher is deleted).
  void SetKeyCatcher(IControl* control);
  IGraphicsViewContainer* ViewContainer() const { return viewContainer_; }
  void SetViewContainer(IGraphicsViewContainer* container) { viewContainer_ = container; }

  // Marks every control dirty; an opening window does this so that it is painted whole.
  void MarkAllDirty();

protected:
  // What a press while a menu opens leaves behind: no capture, no hover, no last position.
  void ResetMouseState();
  // Whether a text entry for param lets the typed character c through (backspace always does).
  static bool TextEntryAccepts(const IPlugParam* param, char c);
  // Applies the text of a text entry: a value for param through ReceiveUserValue, or the text
  // itself through TakeEnteredText without a parameter.
  static void ApplyEnteredText(IControl* control, IPlugParam* param, const char* text);

private:
  void Renumber();

  IPlugBase* plug_;                 // not owned
  std::vector<IControl*> controls_; // owned
  ControlRect redrawRect_;
  LICE_SysBitmap* drawBitmap_ = nullptr; // owned
  int width_, height_;
  int framesPerSecond_;
  int captureIndex_ = -1;
  int hoverIndex_ = -1;
  int lastMouseX_ = 0, lastMouseY_ = 0;
  bool trackHover_ = false;
  bool tooltipsEnabled_ = false;
  IControl* keyCatcher_ = nullptr;                  // owned
  IGraphicsViewContainer* viewContainer_ = nullptr; // not owned
};
