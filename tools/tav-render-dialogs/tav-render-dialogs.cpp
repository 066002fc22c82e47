// Renders each dialog of the GUI library, filled with sample data, to a PNG
// file: the real dialogs drawn by GTK on a private Xvfb, in a private mount
// namespace whose /etc/TAV/ holds the sample configuration and the drawn
// pictures (the machine's own /etc/TAV/ is never read or written).
//
//   tav-render-dialogs <output folder> [picture name ...]
//
// Exit status: 0 all rendered, 1 a picture failed, 2 bad use or no X
// server, 77 no private mount namespace here (needs root).
//
// Without names every picture is rendered. To add a dialog: write a
// function that shows it filled with sample data and returns its window,
// and add a line to kPictures.
#include "AboutDlg.h"
#include "AddApplicationWindow.h"
#include "ChangeIconDlg.h"
#include "GuiTestUtil.h"
#include "SearchProgramBase.h"
#include "ShellSettingCtrl.h"
#include "TAVLayout.h"
#include "TestSupport.h"

#include <cairo.h>
#include <fcntl.h>
#include <gtk/gtk.h>
#include <pango/pangocairo.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tavtest {
namespace detail {
// The shared test harness's private namespace and temporary root.
bool EnterPrivateNamespace(std::string& why);
void InitTempRoot();
void RemoveTempRoot();
} // namespace detail
} // namespace tavtest

namespace {

using namespace tavguitest;
using LibTAVData::CONFIG_DIR;

// --- sample installation ---

const std::string kImages = "/etc/TAV/image/";

std::string Program(int enabled, const std::string& name, const std::string& path,
                    const std::string& icon)
{
    return "<Application enabled=\"" + std::to_string(enabled) + "\"><Name>" + name +
           "</Name><Path>" + path + "</Path><CustomIcon>" + icon + "</CustomIcon></Application>";
}

std::string Category(const std::string& name, const std::string& icon, const std::string& programs)
{
    return "<Category name=\"" + name + "\" icon=\"" + kImages + icon + "\">" + programs +
           "</Category>";
}

bool InstallSamples()
{
    g_mkdir_with_parents(kImages.c_str(), 0755);
    GDir* dir = g_dir_open(TAV_RENDER_IMAGE_DIR, 0, nullptr);
    if (!dir)
        return false;
    bool ok = true;
    while (const gchar* name = g_dir_read_name(dir))
        ok &= tavtest::WriteFile(kImages + name,
                                 tavtest::ReadFile(std::string(TAV_RENDER_IMAGE_DIR) + "/" + name));
    g_dir_close(dir);

    const std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n";
    ok &= tavtest::WriteFile(CONFIG_DIR + LibTAVData::DEFAULT_CONFIG_XML,
                             tavtest::ReadFile(TAV_RENDER_DEFAULT_CONFIG));
    ok &= tavtest::WriteFile(
        CONFIG_DIR + LibTAVData::TAB_NAVIGATION_XML,
        xml + "<TabNavigation><CategoryConfig>" +
            Category("Internet", "category_internet.png",
                     Program(1, "Web Browser", "/usr/bin/x-www-browser",
                             kImages + "category_internet.png") +
                         Program(0, "Mail", "/usr/bin/mail", "") +
                         Program(1, "Chat", "/usr/bin/chat", kImages + "category_media.png")) +
            Category(
                "Office", "category_office.png",
                Program(1, "Text Editor", "/usr/bin/editor", kImages + "category_office.png")) +
            Category("Education", "category_education.png",
                     Program(1, "Atlas", "/usr/bin/atlas", kImages + "category_education.png")) +
            Category("Games", "category_games.png",
                     Program(1, "Dice", "/usr/bin/dice", kImages + "category_games.png")) +
            "</CategoryConfig></TabNavigation>\n");

    // School hours locked on weekdays, evenings on the weekend.
    std::string sections;
    const char* const days[] = {"MONDAY", "TUESDAY",  "WEDNESDAY", "THURSDAY",
                                "FRIDAY", "SATURDAY", "SUNDAY"};
    for (int day = 0; day < 7; ++day) {
        const int from = day < 5 ? 8 : 20, to = day < 5 ? 15 : 23;
        for (int hour = from; hour < to; ++hour)
            sections += "<LockTimeSection DayOfWeek=\"" + std::string(days[day]) + "\" Start=\"" +
                        std::to_string(hour) + "\" End=\"" + std::to_string(hour + 1) + "\" />";
    }
    ok &= tavtest::WriteFile(CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML,
                             xml +
                                 "<LockSchedule><AutoLockStatus>1</AutoLockStatus>"
                                 "<ManualLockStatus>0</ManualLockStatus><LockStatus>0</LockStatus>"
                                 "<AutomaticLock>" +
                                 sections + "</AutomaticLock></LockSchedule>\n");
    ok &= tavtest::WriteFile(
        CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML,
        xml + "<TAVSystemSetting><USBStorage enabled=\"0\" />"
              "<NewStudentConnectDialog enabled=\"1\"><ConnectPolicy allow=\"1\" />"
              "<AddToCurrentClass allow=\"1\" /></NewStudentConnectDialog>"
              "<AutoDeploy enabled=\"0\" /></TAVSystemSetting>\n");
    auto found = [&](const std::string& name, const std::string& path, const std::string& icon) {
        return "<Application><Name>" + name + "</Name><Path>" + path + "</Path><CustomIcon>" +
               icon + "</CustomIcon></Application>";
    };
    ok &= tavtest::WriteFile(
        CONFIG_DIR + LibTAVData::SEARCH_RESULT_XML,
        xml + "<SearchResult><Applications>" +
            found("Atlas", "/usr/bin/atlas", kImages + "category_education.png") +
            found("Calculator", "/usr/bin/galculator", "") +
            found("Dice", "/usr/bin/dice", kImages + "category_games.png") +
            found("Music Player", "/usr/bin/music", kImages + "category_media.png") +
            found("Terminal", "/usr/bin/x-terminal-emulator", kImages + "category_tools.png") +
            "</Applications></SearchResult>\n");
    return ok;
}

// --- the dialogs ---

// The "Shell Settings" dialog on the local files. Teacher: with "Show new
// student connect notify dialog" instead of "Disable USB Storage".
class CSampleShellSetting : public LibTAVGUI::CShellSettingCtrl {
public:
    explicit CSampleShellSetting(bool teacher) : m_teacher(teacher) {}
    int Init() override
    {
        AttachBaseClassGTKHandler(this);
        if (m_teacher) {
            GTKHideUSBCheckBox();
            GTKShowDlgCheckBox();
        }
        LoadXMLData();
        m_bBuilt = true;
        return 0;
    }
    int LoadXMLData() override
    {
        m_TabNavigation.LoadFromFile(CONFIG_DIR + LibTAVData::TAB_NAVIGATION_XML);
        m_Schedule.LoadFromFile(CONFIG_DIR + LibTAVData::LOCK_SCHEDULE_XML);
        m_SystemSetting.LoadFromFile(CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML);
        ShowTabNavPolicy();
        ShowSchedulePolicy();
        if (m_teacher)
            ShowTeacherPolicy();
        else
            ShowUSBPolicy();
        return 0;
    }
    int OnApply() override { return 0; }
    int OnAddProgram() override { return 0; }

private:
    bool m_teacher;
};

// The "Search Program" dialog as it looks while a search runs, two of three
// students having answered. The window is the library's own; no daemon is
// asked.
class CSampleSearch : public LibTAVGUI::CSearchProgramBase {
public:
    int Init() override
    {
        AttachBaseClassGTKHandler(this);
        m_bBuilt = true;
        return 0;
    }
    int OnSearchBtnClicked() override { return -1; }
    int CancelSearch() override { return 0; }
    void ShowRunning()
    {
        gtk_entry_set_text(GTK_ENTRY(m_pPathEntry), "/usr/share/applications");
        SetProgress(2.0 / 3);
        SetButtonLabel("Cancel");
    }
};

// Keeps the dialogs of one picture alive until it is taken.
struct Scene {
    std::vector<std::unique_ptr<LibTAVGUI::CTAVWindowBase>> dialogs;

    template <class T>
    T* Keep(T* dialog)
    {
        dialogs.emplace_back(dialog);
        return dialog;
    }
};

GtkWidget* ShowAbout(Scene& scene)
{
    auto* about = scene.Keep(
        new LibTAVGUI::CAboutDlg("Shell Controller", LibTAVData::SHELL_CONTROLLER_ICON, "1.0.0"));
    about->Init();
    about->Show();
    return FindWindow("About Shell Controller");
}

GtkWidget* ShowEditCategory(Scene& scene)
{
    auto* dialog = scene.Keep(new LibTAVGUI::CChangeIconDlg(
        "/etc/TAV/image", kImages + "category_internet.png", "Internet"));
    dialog->Init();
    dialog->Show();
    GtkWidget* window = FindWindow("Edit Category Dialog");
    // Pick the globe, as a click does.
    ChooseIconViewItem(window, 1, "category_internet.png");
    return window;
}

GtkWidget* ShowApplicationSelection(Scene& scene)
{
    auto* dialog = scene.Keep(new LibTAVGUI::CAddApplicationWindow);
    dialog->Init();
    dialog->Show();
    GtkWidget* window = FindWindow("Application Selection");
    if (window) {
        GtkTreeView* view = GTK_TREE_VIEW(FindOfType(window, GTK_TYPE_TREE_VIEW));
        AddToSelection(view, 0);
        AddToSelection(view, 2);
    }
    return window;
}

GtkWidget* ShowSearchProgram(Scene& scene)
{
    auto* dialog = scene.Keep(new CSampleSearch);
    dialog->Init();
    dialog->ShowRunning();
    dialog->Show();
    GtkWidget* window = FindWindow("Search Program");
    // The path as typed: the cursor at its end, nothing selected.
    if (GtkWidget* entry = window ? FindOfType(window, GTK_TYPE_ENTRY) : nullptr)
        gtk_editable_set_position(GTK_EDITABLE(entry), -1);
    return window;
}

std::function<GtkWidget*(Scene&)> ShowShellSettings(const std::string& page, bool teacher)
{
    return [page, teacher](Scene& scene) -> GtkWidget* {
        auto* dialog = scene.Keep(new CSampleShellSetting(teacher));
        dialog->Init();
        dialog->Show();
        GtkWidget* window = FindWindow("Shell Settings");
        if (!window || !ShowPage(window, page))
            return nullptr;
        // The selection shows as it does while a person works in the list.
        if (GtkTreeView* categories = FindTreeView(window, "Category (Tab)"))
            gtk_widget_grab_focus(GTK_WIDGET(categories));
        return window;
    };
}

struct Picture {
    const char* file;
    std::function<GtkWidget*(Scene&)> show;
};

const std::vector<Picture> kPictures = {
    {"about.png", ShowAbout},
    {"edit-category.png", ShowEditCategory},
    {"application-selection.png", ShowApplicationSelection},
    {"search-program.png", ShowSearchProgram},
    {"shell-settings-lock.png", ShowShellSettings("Shell Lock Settings", false)},
    {"shell-settings-programs.png", ShowShellSettings("Program Registration", false)},
    {"shell-settings-system.png", ShowShellSettings("System Settings", false)},
    {"shell-settings-system-teacher.png", ShowShellSettings("System Settings", true)},
};

// --- taking the picture ---

cairo_status_t WriteToFd(void* fd, const unsigned char* data, unsigned int length)
{
    while (length > 0) {
        const ssize_t n = ::write(*static_cast<int*>(fd), data, length);
        if (n <= 0)
            return CAIRO_STATUS_WRITE_ERROR;
        data += n;
        length -= unsigned(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

// The window's contents under a plain frame with its title (there is no
// window manager to draw one), written to file in the output folder.
bool Capture(GtkWidget* window, int outDir, const std::string& file)
{
    gdk_window_process_all_updates();
    gdk_flush();
    Pump(200);
    GtkAllocation a;
    gtk_widget_get_allocation(window, &a);
    GdkPixbuf* shot = gdk_pixbuf_get_from_drawable(nullptr, gtk_widget_get_window(window), nullptr,
                                                   0, 0, 0, 0, a.width, a.height);
    if (!shot)
        return false;

    const int border = 1, titleHeight = 24;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, a.width + 2 * border,
                                                          a.height + titleHeight + border);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.35, 0.38, 0.42);
    cairo_paint(cr);
    cairo_pattern_t* bar = cairo_pattern_create_linear(0, 0, 0, titleHeight);
    cairo_pattern_add_color_stop_rgb(bar, 0, 0.33, 0.47, 0.62);
    cairo_pattern_add_color_stop_rgb(bar, 1, 0.22, 0.34, 0.48);
    cairo_rectangle(cr, border, border, a.width, titleHeight - border);
    cairo_set_source(cr, bar);
    cairo_fill(cr);
    cairo_pattern_destroy(bar);
    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_from_string("Sans Bold 9");
    pango_layout_set_font_description(layout, font);
    pango_font_description_free(font);
    pango_layout_set_text(layout, gtk_window_get_title(GTK_WINDOW(window)), -1);
    int tw = 0, th = 0;
    pango_layout_get_pixel_size(layout, &tw, &th);
    cairo_move_to(cr, 8, (titleHeight - th) / 2.0);
    cairo_set_source_rgb(cr, 1, 1, 1);
    pango_cairo_show_layout(cr, layout);
    g_object_unref(layout);
    gdk_cairo_set_source_pixbuf(cr, shot, border, titleHeight);
    cairo_paint(cr);
    cairo_destroy(cr);
    g_object_unref(shot);

    const int fd = ::openat(outDir, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    if (ok) {
        int handle = fd;
        ok = cairo_surface_write_to_png_stream(surface, WriteToFd, &handle) == CAIRO_STATUS_SUCCESS;
        ok &= ::close(fd) == 0;
    }
    cairo_surface_destroy(surface);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s <output folder> [picture name ...]\n", argv[0]);
        return 2;
    }
    // Opened before /tmp is replaced by the private one.
    g_mkdir_with_parents(argv[1], 0755);
    const int outDir = ::open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (outDir < 0) {
        std::perror(argv[1]);
        return 2;
    }
    std::string why;
    if (!tavtest::detail::EnterPrivateNamespace(why)) {
        std::fprintf(stderr, "tav-render-dialogs: no private mount namespace: %s\n", why.c_str());
        return 77;
    }
    tavtest::detail::InitTempRoot();
    std::atexit(tavtest::detail::RemoveTempRoot);
    tavtest::XServer x;
    if (!x.Start()) {
        std::fprintf(stderr, "tav-render-dialogs: Xvfb did not start\n");
        return 2;
    }
    x.Export();
    if (!InstallSamples() || !InitGtk()) {
        std::fprintf(stderr, "tav-render-dialogs: sample installation or display failed\n");
        return 2;
    }

    std::vector<std::string> wanted(argv + 2, argv + argc);
    int failures = 0;
    for (const Picture& picture : kPictures) {
        if (!wanted.empty() &&
            std::find(wanted.begin(), wanted.end(), picture.file) == wanted.end())
            continue;
        Scene scene;
        GtkWidget* window = picture.show(scene);
        const bool ok = window && Capture(window, outDir, picture.file);
        // The log echoes to standard output; the verdicts go to the error
        // stream so that they can be read apart.
        std::fprintf(stderr, "%s %s\n", ok ? "rendered" : "FAILED  ", picture.file);
        failures += ok ? 0 : 1;
    }
    ::close(outDir);
    return failures == 0 ? 0 : 1;
}
