// View: the one drawable element of Parlex's face. The face is a tree of
// views under one root, which owns them all; each draws itself into the back
// buffer and answers which view lies under a point.
#pragma once

#include "skin/image_record.h"
#include "skin/text_objects.h"

#include <cstdint>
#include <memory>
#include <vector>

struct BackBuffer;

// The face is made of Image and Text views; the other kinds are the view's
// contract and drawn as it says, but no view of the face has them.
enum class ViewKind : uint32_t {
    Image = 0,
    UnusedKind = 1, // draws nothing; its hit extent is its main image's size
    Picture = 2,
    Text = 3,
    Line = 4,
};

enum class ImageSelector : uint32_t {
    SelectorAuto = 0,
    SelectorPressed = 1,
    SelectorHover = 2,
};

class View {
  public:
    int32_t x = 0, y = 0;
    int32_t absX = 0, absY = 0;
    bool pressed = false;
    bool hovered = false;
    bool draggable = false; // no view of the face is draggable
    bool noHit = false;
    bool visible = true;
    ViewKind kind = ViewKind::Image;
    ImageSelector imageSelector = ImageSelector::SelectorAuto;
    int32_t serial = -1;
    TextAlign textAlign = TextAlign::start;
    int32_t fontPoints = 10;
    FontStyle fontStyle = FontStyle::regular;
    int32_t width = 0, height = 0;
    // A Line's ends and pen (the face has no Line).
    int32_t lineX1 = 0, lineY1 = 0, lineX2 = 0, lineY2 = 0;
    float penWidth = 1.0f;
    const wchar_t* text = L"";
    const wchar_t* fontFamily = defaultFontFamily;
    uint32_t color = 0xFFFFFFFF;
    float alpha = 1.0f;
    View* parent = nullptr;
    // A view made under a parent belongs to it, once init has attached it:
    // made with new, it goes with its parent.
    std::vector<std::unique_ptr<View>> children;
    ImageRecord pressedImage;
    ImageRecord hoverImage; // no skin piece is a hover image
    ImageRecord mainImage;

    static const wchar_t defaultFontFamily[];

    View(POINT position, View* parent, ViewKind kind, const uint8_t* bytes, uint32_t count);
    virtual ~View();
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    virtual void init(POINT position, View* parent, ViewKind kind, const uint8_t* bytes,
                      uint32_t count);
    virtual void destroyChildren();
    virtual void draw(BackBuffer& target);
    // The contract's three image loads; the face loads its main images
    // through init and only its pressed ones here.
    virtual void loadImage(const uint8_t* bytes, uint32_t count);
    virtual void loadPressedImage(const uint8_t* bytes, uint32_t count);
    virtual void loadHoverImage(const uint8_t* bytes, uint32_t count);
    // The view under point: of this view and its subtree, the one made last
    // whose rectangle holds it. It changes nothing.
    const View* hitTest(POINT point) const;
    View* hitTest(POINT point) {
        return const_cast<View*>(static_cast<const View&>(*this).hitTest(point));
    }
    // Whether the view's own rectangle, where its last placement put it,
    // holds point, whatever covers it there.
    bool contains(POINT point) const;
    virtual void press(POINT point);
    virtual void dragTo(int32_t toX, int32_t toY);
    virtual void release(POINT point);

    // Whether init attached the view; one whose main image failed is not.
    bool attached() const { return serial >= 0; }
    // The serial the next view of this view's tree will take: the root
    // numbers its tree from 0, in the order the views are initialised.
    int32_t nextSerial() const;
    // Draws this view alone where its last placement put it (absX, absY).
    void drawSelf(BackBuffer& target);
    // The image an Image view shows now: pressed, hover or main.
    const ImageRecord& selectedImage() const;

  private:
    // Of a root, the serials its tree has taken; a new face starts from 0.
    int32_t serialsTaken = 0;

    void drawText(Gdiplus::GpGraphics* graphics);
    void drawPicture(Gdiplus::GpGraphics* graphics);
    void drawLine(Gdiplus::GpGraphics* graphics);
};
