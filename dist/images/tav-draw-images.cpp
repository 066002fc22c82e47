// Draws the pictures of the installation's image folder (/etc/TAV/image):
// the default program icon, the About background, the lock-grid legend,
// category icons and the window, tray and tab icons the host programs name.
// Everything is drawn here with cairo, so the pictures carry no outside
// material and can be changed in code.
//
//   tav-draw-images <output folder>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

namespace {

const double kPi = 3.14159265358979323846;

struct Rgb {
    double r, g, b;
};

Rgb Hex(unsigned value)
{
    return {((value >> 16) & 0xff) / 255.0, ((value >> 8) & 0xff) / 255.0, (value & 0xff) / 255.0};
}

void SetColor(cairo_t* cr, Rgb c, double alpha = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
    cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
    cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
    cairo_close_path(cr);
}

// A rounded tile filling the unit square (drawing is done in a 0..1 space
// scaled to the picture), lighter at the top.
void Tile(cairo_t* cr, Rgb top, Rgb bottom)
{
    RoundedRect(cr, 0.04, 0.04, 0.92, 0.92, 0.18);
    cairo_pattern_t* fill = cairo_pattern_create_linear(0, 0, 0, 1);
    cairo_pattern_add_color_stop_rgb(fill, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(fill, 1, bottom.r, bottom.g, bottom.b);
    cairo_set_source(cr, fill);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(fill);
    cairo_set_line_width(cr, 0.03);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.25);
    cairo_stroke(cr);
}

const Rgb kWhite = {1, 1, 1};

// --- glyphs, in the unit square ---

void WindowGlyph(cairo_t* cr)
{
    RoundedRect(cr, 0.2, 0.24, 0.6, 0.52, 0.05);
    SetColor(cr, kWhite);
    cairo_fill(cr);
    cairo_rectangle(cr, 0.2, 0.24, 0.6, 0.1);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.25);
    cairo_fill(cr);
    // Four small blocks: "any program".
    const Rgb blocks[] = {Hex(0x4a86c0), Hex(0xe08a2c), Hex(0x5aa351), Hex(0xc8483f)};
    for (int i = 0; i < 4; ++i) {
        const double x = 0.3 + (i % 2) * 0.22, y = 0.41 + (i / 2) * 0.17;
        RoundedRect(cr, x, y, 0.16, 0.12, 0.02);
        SetColor(cr, blocks[i]);
        cairo_fill(cr);
    }
}

void GlobeGlyph(cairo_t* cr)
{
    SetColor(cr, kWhite);
    cairo_set_line_width(cr, 0.05);
    cairo_arc(cr, 0.5, 0.5, 0.28, 0, 2 * kPi);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_translate(cr, 0.5, 0.5);
    cairo_scale(cr, 0.12, 0.28);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
    cairo_stroke(cr);
    cairo_move_to(cr, 0.22, 0.5);
    cairo_line_to(cr, 0.78, 0.5);
    cairo_move_to(cr, 0.28, 0.36);
    cairo_line_to(cr, 0.72, 0.36);
    cairo_move_to(cr, 0.28, 0.64);
    cairo_line_to(cr, 0.72, 0.64);
    cairo_stroke(cr);
}

void DocumentGlyph(cairo_t* cr)
{
    cairo_move_to(cr, 0.28, 0.18);
    cairo_line_to(cr, 0.6, 0.18);
    cairo_line_to(cr, 0.74, 0.32);
    cairo_line_to(cr, 0.74, 0.82);
    cairo_line_to(cr, 0.28, 0.82);
    cairo_close_path(cr);
    SetColor(cr, kWhite);
    cairo_fill(cr);
    cairo_move_to(cr, 0.6, 0.18);
    cairo_line_to(cr, 0.6, 0.32);
    cairo_line_to(cr, 0.74, 0.32);
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.2);
    cairo_fill(cr);
    cairo_set_line_width(cr, 0.035);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
    for (int i = 0; i < 5; ++i) {
        const double y = 0.42 + i * 0.08;
        cairo_move_to(cr, 0.35, y);
        cairo_line_to(cr, i == 4 ? 0.55 : 0.67, y);
    }
    cairo_stroke(cr);
}

void BookGlyph(cairo_t* cr)
{
    SetColor(cr, kWhite);
    // Two pages meeting at the spine.
    cairo_move_to(cr, 0.5, 0.32);
    cairo_curve_to(cr, 0.4, 0.25, 0.28, 0.25, 0.18, 0.28);
    cairo_line_to(cr, 0.18, 0.74);
    cairo_curve_to(cr, 0.28, 0.71, 0.4, 0.71, 0.5, 0.78);
    cairo_curve_to(cr, 0.6, 0.71, 0.72, 0.71, 0.82, 0.74);
    cairo_line_to(cr, 0.82, 0.28);
    cairo_curve_to(cr, 0.72, 0.25, 0.6, 0.25, 0.5, 0.32);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_set_line_width(cr, 0.03);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.3);
    cairo_move_to(cr, 0.5, 0.33);
    cairo_line_to(cr, 0.5, 0.76);
    for (int i = 0; i < 3; ++i) {
        const double y = 0.4 + i * 0.1;
        cairo_move_to(cr, 0.25, y);
        cairo_line_to(cr, 0.43, y + 0.01);
        cairo_move_to(cr, 0.57, y + 0.01);
        cairo_line_to(cr, 0.75, y);
    }
    cairo_stroke(cr);
}

void DieGlyph(cairo_t* cr)
{
    RoundedRect(cr, 0.24, 0.24, 0.52, 0.52, 0.08);
    SetColor(cr, kWhite);
    cairo_fill(cr);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
    const double pips[][2] = {{0.36, 0.36}, {0.64, 0.36}, {0.5, 0.5}, {0.36, 0.64}, {0.64, 0.64}};
    for (const auto& p : pips) {
        cairo_arc(cr, p[0], p[1], 0.05, 0, 2 * kPi);
        cairo_fill(cr);
    }
}

void GearGlyph(cairo_t* cr, Rgb hole)
{
    const int teeth = 8;
    SetColor(cr, kWhite);
    for (int i = 0; i < teeth * 2; ++i) {
        const double a0 = i * kPi / teeth, a1 = (i + 1) * kPi / teeth;
        const double r = (i % 2 == 0) ? 0.32 : 0.24;
        if (i == 0)
            cairo_move_to(cr, 0.5 + r * std::cos(a0), 0.5 + r * std::sin(a0));
        cairo_arc(cr, 0.5, 0.5, r, a0, a1);
    }
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_arc(cr, 0.5, 0.5, 0.1, 0, 2 * kPi);
    SetColor(cr, hole);
    cairo_fill(cr);
}

void NoteGlyph(cairo_t* cr)
{
    SetColor(cr, kWhite);
    cairo_save(cr);
    cairo_translate(cr, 0.36, 0.7);
    cairo_scale(cr, 0.1, 0.075);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
    cairo_fill(cr);
    cairo_save(cr);
    cairo_translate(cr, 0.66, 0.63);
    cairo_scale(cr, 0.1, 0.075);
    cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(cr);
    cairo_fill(cr);
    cairo_set_line_width(cr, 0.05);
    cairo_move_to(cr, 0.44, 0.7);
    cairo_line_to(cr, 0.44, 0.26);
    cairo_line_to(cr, 0.74, 0.2);
    cairo_line_to(cr, 0.74, 0.63);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 0.08);
    cairo_move_to(cr, 0.44, 0.3);
    cairo_line_to(cr, 0.74, 0.24);
    cairo_stroke(cr);
}

void PadlockGlyph(cairo_t* cr, bool closed, Rgb body, Rgb shackle)
{
    cairo_set_line_width(cr, 0.1);
    SetColor(cr, shackle);
    if (closed) {
        cairo_arc(cr, 0.5, 0.45, 0.17, kPi, 2 * kPi);
        cairo_line_to(cr, 0.67, 0.52);
        cairo_move_to(cr, 0.33, 0.45);
        cairo_line_to(cr, 0.33, 0.52);
    } else {
        cairo_arc(cr, 0.62, 0.35, 0.17, kPi, 2 * kPi);
        cairo_line_to(cr, 0.79, 0.45);
        cairo_move_to(cr, 0.45, 0.35);
        cairo_line_to(cr, 0.45, 0.52);
    }
    cairo_stroke(cr);
    RoundedRect(cr, 0.24, 0.5, 0.52, 0.38, 0.06);
    SetColor(cr, body);
    cairo_fill(cr);
    cairo_arc(cr, 0.5, 0.66, 0.05, 0, 2 * kPi);
    cairo_rectangle(cr, 0.48, 0.66, 0.04, 0.12);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
    cairo_fill(cr);
}

void StarGlyph(cairo_t* cr, Rgb color)
{
    for (int i = 0; i < 10; ++i) {
        const double a = -kPi / 2 + i * kPi / 5;
        const double r = (i % 2 == 0) ? 0.36 : 0.15;
        const double x = 0.5 + r * std::cos(a), y = 0.53 + r * std::sin(a);
        if (i == 0)
            cairo_move_to(cr, x, y);
        else
            cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    SetColor(cr, color);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 0.03);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.3);
    cairo_stroke(cr);
}

void MonitorGlyph(cairo_t* cr)
{
    RoundedRect(cr, 0.18, 0.22, 0.64, 0.44, 0.04);
    SetColor(cr, kWhite);
    cairo_fill(cr);
    cairo_rectangle(cr, 0.23, 0.27, 0.54, 0.34);
    SetColor(cr, Hex(0x2d5f8f));
    cairo_fill(cr);
    cairo_rectangle(cr, 0.44, 0.66, 0.12, 0.08);
    cairo_rectangle(cr, 0.32, 0.74, 0.36, 0.05);
    SetColor(cr, kWhite);
    cairo_fill(cr);
}

void ChartGlyph(cairo_t* cr)
{
    SetColor(cr, kWhite);
    const double heights[] = {0.25, 0.45, 0.33, 0.55};
    for (int i = 0; i < 4; ++i) {
        const double x = 0.22 + i * 0.15;
        cairo_rectangle(cr, x, 0.78 - heights[i], 0.1, heights[i]);
    }
    cairo_fill(cr);
    cairo_set_line_width(cr, 0.03);
    cairo_move_to(cr, 0.18, 0.8);
    cairo_line_to(cr, 0.82, 0.8);
    cairo_stroke(cr);
}

void CrossGlyph(cairo_t* cr)
{
    SetColor(cr, kWhite);
    cairo_set_line_width(cr, 0.13);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 0.33, 0.33);
    cairo_line_to(cr, 0.67, 0.67);
    cairo_move_to(cr, 0.67, 0.33);
    cairo_line_to(cr, 0.33, 0.67);
    cairo_stroke(cr);
}

// --- pictures ---

using Painter = std::function<void(cairo_t*)>;

// An icon of size x size pixels drawn in the unit square.
bool Icon(const std::string& folder, const char* name, int size, const Painter& paint)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, size, size);
    paint(cr);
    cairo_destroy(cr);
    const std::string path = folder + "/" + name;
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok)
        std::fprintf(stderr, "tav-draw-images: cannot write %s\n", path.c_str());
    return ok;
}

// The About window's background, 350 x 230: a blue band at the top, a light
// area for the texts (name and version at x 92, y 70 to 100; rights at
// y 140) and a quiet wave behind the OK button.
bool AboutBackground(const std::string& folder)
{
    const int w = 350, h = 230;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    cairo_t* cr = cairo_create(surface);

    cairo_pattern_t* body = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(body, 0, 0.97, 0.98, 1.0);
    cairo_pattern_add_color_stop_rgb(body, 1, 0.85, 0.89, 0.94);
    cairo_set_source(cr, body);
    cairo_paint(cr);
    cairo_pattern_destroy(body);

    cairo_pattern_t* band = cairo_pattern_create_linear(0, 0, w, 0);
    cairo_pattern_add_color_stop_rgb(band, 0, 0.16, 0.35, 0.55);
    cairo_pattern_add_color_stop_rgb(band, 1, 0.33, 0.56, 0.78);
    cairo_move_to(cr, 0, 0);
    cairo_line_to(cr, w, 0);
    cairo_line_to(cr, w, 38);
    cairo_curve_to(cr, 240, 58, 120, 40, 0, 54);
    cairo_close_path(cr);
    cairo_set_source(cr, band);
    cairo_fill(cr);
    cairo_pattern_destroy(band);

    // A light line along the band's edge.
    cairo_move_to(cr, 0, 58);
    cairo_curve_to(cr, 120, 44, 240, 62, w, 42);
    cairo_set_line_width(cr, 2);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.8);
    cairo_stroke(cr);

    // Circles in the band, echoing the lock grid's colours.
    const Rgb dots[] = {Hex(0xcccc99), Hex(0x669acc), Hex(0xffffff)};
    for (int i = 0; i < 9; ++i) {
        cairo_arc(cr, 250 + i * 11, 18 + (i % 3) * 6, 3.2, 0, 2 * kPi);
        SetColor(cr, dots[i % 3], 0.55);
        cairo_fill(cr);
    }

    // A soft wave at the bottom.
    cairo_move_to(cr, 0, h);
    cairo_line_to(cr, 0, 205);
    cairo_curve_to(cr, 90, 185, 190, 225, w, 180);
    cairo_line_to(cr, w, h);
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, 0.33, 0.56, 0.78, 0.25);
    cairo_fill(cr);

    // A frame for the program icon at (28, 69), 48 x 48.
    RoundedRect(cr, 22, 63, 60, 60, 8);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.85);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 0.16, 0.35, 0.55, 0.35);
    cairo_stroke(cr);

    // A separator above the rights line.
    cairo_move_to(cr, 92, 130.5);
    cairo_line_to(cr, 320, 130.5);
    cairo_set_line_width(cr, 1);
    cairo_set_source_rgba(cr, 0.16, 0.35, 0.55, 0.3);
    cairo_stroke(cr);

    cairo_destroy(cr);
    const std::string path = folder + "/About_BG.png";
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok)
        std::fprintf(stderr, "tav-draw-images: cannot write %s\n", path.c_str());
    return ok;
}

// A legend square of the lock grid: the cell colour with a padlock.
Painter LegendSquare(Rgb color, bool closed)
{
    return [color, closed](cairo_t* cr) {
        cairo_rectangle(cr, 0.03, 0.03, 0.94, 0.94);
        SetColor(cr, color);
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 0.06);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
        cairo_stroke(cr);
        PadlockGlyph(cr, closed, closed ? kWhite : Hex(0x55553a), closed ? kWhite : Hex(0x55553a));
    };
}

Painter TileWith(Rgb top, Rgb bottom, const Painter& glyph)
{
    return [top, bottom, glyph](cairo_t* cr) {
        Tile(cr, top, bottom);
        glyph(cr);
    };
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tav-draw-images <output folder>\n");
        return 2;
    }
    const std::string out = argv[1];
    const Rgb blueTop = Hex(0x6d9fd3), blueBottom = Hex(0x2d5f8f);
    const Rgb greyTop = Hex(0x9aa7b4), greyBottom = Hex(0x56636f);

    bool ok = true;
    // Program icons and the About background.
    ok &= Icon(out, "gui_default_app.png", 32, TileWith(greyTop, greyBottom, WindowGlyph));
    ok &= AboutBackground(out);
    // Legend of the lock grid: the cell colours of the settings dialog.
    ok &= Icon(out, "sc_locked.png", 16, LegendSquare(Hex(0x669acc), true));
    ok &= Icon(out, "sc_unlocked.png", 16, LegendSquare(Hex(0xcccc99), false));
    // Category icons.
    ok &=
        Icon(out, "category_internet.png", 32, TileWith(Hex(0x6fb3e0), Hex(0x2b73ad), GlobeGlyph));
    ok &=
        Icon(out, "category_office.png", 32, TileWith(Hex(0x7fc27a), Hex(0x3f8a3a), DocumentGlyph));
    ok &=
        Icon(out, "category_education.png", 32, TileWith(Hex(0xf0b45c), Hex(0xc4771d), BookGlyph));
    ok &= Icon(out, "category_games.png", 32, TileWith(Hex(0xe07b73), Hex(0xa83a33), DieGlyph));
    ok &= Icon(out, "category_tools.png", 32,
               TileWith(greyTop, greyBottom, [&](cairo_t* cr) { GearGlyph(cr, Hex(0x7a8794)); }));
    ok &= Icon(out, "category_media.png", 32, TileWith(Hex(0xb48ad6), Hex(0x7446a0), NoteGlyph));
    // Window, tray, tab and task icons named by the installation layout.
    ok &= Icon(out, "shellcontroller_main.png", 48, TileWith(blueTop, blueBottom, MonitorGlyph));
    ok &= Icon(out, "admintool_main.png", 48,
               TileWith(blueTop, blueBottom, [&](cairo_t* cr) { GearGlyph(cr, Hex(0x4d7fb0)); }));
    ok &= Icon(out, "taskmanager_main.png", 48, TileWith(Hex(0x7fc27a), Hex(0x3f8a3a), ChartGlyph));
    ok &= Icon(out, "taskmanager_endproc.png", 24, [](cairo_t* cr) {
        cairo_arc(cr, 0.5, 0.5, 0.44, 0, 2 * kPi);
        SetColor(cr, Hex(0xc8483f));
        cairo_fill(cr);
        CrossGlyph(cr);
    });
    ok &= Icon(out, "taskmanager_app.png", 32, TileWith(greyTop, greyBottom, WindowGlyph));
    ok &= Icon(out, "tabnavigation_trayicon_lock.png", 24,
               [](cairo_t* cr) { PadlockGlyph(cr, true, Hex(0x2d5f8f), Hex(0x56636f)); });
    ok &= Icon(out, "tabnavigation_trayicon_unlock.png", 24,
               [](cairo_t* cr) { PadlockGlyph(cr, false, Hex(0x5aa351), Hex(0x56636f)); });
    ok &= Icon(out, "tabnavigation_tab_favorite.png", 32,
               [](cairo_t* cr) { StarGlyph(cr, Hex(0xf2c230)); });
    return ok ? 0 : 1;
}
