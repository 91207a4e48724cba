#include "runtime/scene_builder.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

namespace rt {

int ToPixels(double twips)
{
    const double px = std::nearbyint(twips / TwipsPerPixel);
    constexpr double lo = std::numeric_limits<int>::min() / 2, hi = std::numeric_limits<int>::max() / 2;
    return static_cast<int>(std::clamp(px, lo, hi));
}

PixelRect ClientRectOf(const Form& form)
{
    return {ToPixels(form.Left() + form.ClientLeft()), ToPixels(form.Top() + form.ClientTop()),
            std::max(0, ToPixels(form.Width() - 2 * form.ClientLeft())),
            std::max(0, ToPixels(form.Height() - form.ClientTop() - form.ClientLeft()))};
}

Scene SceneOf(const Form& form)
{
    Scene scene;
    scene.background = form.BackColor();
    const PixelRect client = ClientRectOf(form);
    const PixelRect all{0, 0, client.w, client.h};
    if (form.Picture()) {
        DrawItem image;
        image.kind = DrawItem::Kind::Image;
        image.rect = {0, 0, form.Picture().width(), form.Picture().height()};
        image.clip = all;
        image.picture = form.Picture();
        image.owner = form.Name();
        scene.items.push_back(std::move(image));
    }
    // Controls in creation order; a frame's contents right after it, clipped to it.
    std::function<void(const Object&, int, int, PixelRect)> paint = [&](const Object& container, int ox,
                                                                        int oy, PixelRect clip) {
        for (Control* c : form.Controls().all()) {
            if (&c->Container() != &container || !c->Visible()) continue;
            const PixelRect r{ox + ToPixels(c->Left()), oy + ToPixels(c->Top()), ToPixels(c->Width()),
                              ToPixels(c->Height())};
            DrawItem item;
            item.rect = r;
            item.clip = clip;
            item.owner = c->Name();
            if (auto* box = dynamic_cast<const PictureBox*>(c)) {
                item.kind = DrawItem::Kind::Fill;
                item.back = ColorFromBgr(0x8000000F);
                scene.items.push_back(item);
                if (box->Picture()) {
                    item.kind = DrawItem::Kind::Image;
                    item.picture = box->Picture();
                    item.clip = Intersect(clip, r);
                    scene.items.push_back(item);
                }
            } else if (auto* label = dynamic_cast<const Label*>(c)) {
                item.kind = DrawItem::Kind::Fill;
                item.back = label->Appearance().backColor;
                scene.items.push_back(item);
                item.kind = DrawItem::Kind::Text;
                item.clip = Intersect(clip, r);
                item.fore = label->Appearance().foreColor;
                item.align = label->Appearance().alignment;
                item.font = label->Appearance().font;
                item.text = label->Caption();
                scene.items.push_back(std::move(item));
            } else if (auto* frame = dynamic_cast<const Frame*>(c)) {
                item.kind = DrawItem::Kind::Fill;
                item.back = frame->BackColor();
                scene.items.push_back(item);
                paint(*frame, r.x, r.y, Intersect(clip, r));
            }
        }
    };
    paint(form, 0, 0, all);
    return scene;
}

}  // namespace rt
