// Helpers for tests that drive the real dialogs on the test's X server the
// way a person does: find widgets by their labels, press buttons, tick
// cells, type, answer message boxes, close windows from the "window
// manager", and run the main loop until something has happened.
//
// Threading follows a GTK+ 2 host: the test thread holds the GDK lock
// (InitGtk takes it), and the main loop runs without it (PumpUntil), so that
// GDK's own sources and gdk_threads_add_timeout callbacks can take it. A
// modal gtk_dialog_run inside a handler releases the lock while it waits;
// MessageBoxAnswerer answers such boxes from a timeout, so no test hangs.
#ifndef TAV_GUI_TESTS_GUITESTUTIL_H
#define TAV_GUI_TESTS_GUITESTUTIL_H

#include <gtk/gtk.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace tavguitest {

// Initialises threads, the GDK lock and GTK on $DISPLAY once per process,
// and takes the lock for the test thread. False when there is no display.
inline bool InitGtk()
{
    static int state = 0; // 0 not yet, 1 ready, -1 failed
    if (state != 0)
        return state > 0;
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (!g_threads_got_initialized)
        g_thread_init(nullptr);
    if (!gdk_threads_mutex)
        gdk_threads_init();
    G_GNUC_END_IGNORE_DEPRECATIONS
    if (!gtk_init_check(nullptr, nullptr)) {
        state = -1;
        return false;
    }
    gdk_threads_enter();
    state = 1;
    return true;
}

// --- the main loop ---

// Runs the main loop until cond holds (checked with the lock held) or
// timeoutMs passes; true when cond held.
inline bool PumpUntil(const std::function<bool()>& cond, int timeoutMs = 5000)
{
    const gint64 deadline = g_get_monotonic_time() + gint64(timeoutMs) * 1000;
    for (;;) {
        gdk_threads_leave();
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        gdk_threads_enter();
        if (cond())
            return true;
        if (g_get_monotonic_time() >= deadline)
            return false;
        g_usleep(2000);
    }
}

// Handles everything pending, then keeps the loop running for ms more (to
// let the X server's answers and redraws arrive).
inline void Pump(int ms = 50)
{
    PumpUntil([] { return false; }, ms);
}

// --- finding widgets ---

inline void ForEachWidget(GtkWidget* root, const std::function<void(GtkWidget*)>& fn)
{
    if (!root)
        return;
    fn(root);
    if (GTK_IS_CONTAINER(root)) {
        std::vector<GtkWidget*> children;
        gtk_container_forall(
            GTK_CONTAINER(root),
            [](GtkWidget* child, gpointer list) {
                static_cast<std::vector<GtkWidget*>*>(list)->push_back(child);
            },
            &children);
        for (GtkWidget* child : children)
            ForEachWidget(child, fn);
    }
}

inline std::vector<GtkWidget*> FindAll(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred)
{
    std::vector<GtkWidget*> found;
    ForEachWidget(root, [&](GtkWidget* w) {
        if (pred(w))
            found.push_back(w);
    });
    return found;
}

// The index-th widget (in tree order) for which pred holds, or null.
inline GtkWidget* Find(GtkWidget* root, const std::function<bool(GtkWidget*)>& pred, int index = 0)
{
    std::vector<GtkWidget*> found = FindAll(root, pred);
    return index >= 0 && index < int(found.size()) ? found[index] : nullptr;
}

inline GtkWidget* FindOfType(GtkWidget* root, GType type, int index = 0)
{
    return Find(
        root, [type](GtkWidget* w) { return G_TYPE_CHECK_INSTANCE_TYPE(w, type); }, index);
}

// The text a person reads on a button (check and toggle buttons included).
inline std::string ButtonText(GtkWidget* button)
{
    if (const gchar* label = gtk_button_get_label(GTK_BUTTON(button)))
        return label;
    GtkWidget* child = gtk_bin_get_child(GTK_BIN(button));
    if (child && GTK_IS_LABEL(child))
        return gtk_label_get_text(GTK_LABEL(child));
    return std::string();
}

// The index-th button labelled text ("+" appears twice on a page).
inline GtkWidget* FindButton(GtkWidget* root, const std::string& text, int index = 0)
{
    return Find(
        root, [&](GtkWidget* w) { return GTK_IS_BUTTON(w) && ButtonText(w) == text; }, index);
}

inline GtkWidget* FindLabel(GtkWidget* root, const std::string& text, int index = 0)
{
    return Find(
        root,
        [&](GtkWidget* w) { return GTK_IS_LABEL(w) && text == gtk_label_get_text(GTK_LABEL(w)); },
        index);
}

inline GtkTreeViewColumn* FindColumn(GtkTreeView* view, const std::string& title)
{
    for (int i = 0;; ++i) {
        GtkTreeViewColumn* column = gtk_tree_view_get_column(view, i);
        if (!column)
            return nullptr;
        const gchar* t = gtk_tree_view_column_get_title(column);
        if (t && title == t)
            return column;
    }
}

// The tree view that has a column with this title.
inline GtkTreeView* FindTreeView(GtkWidget* root, const std::string& columnTitle)
{
    return GTK_TREE_VIEW(Find(root, [&](GtkWidget* w) {
        return GTK_IS_TREE_VIEW(w) && FindColumn(GTK_TREE_VIEW(w), columnTitle);
    }));
}

// A shown top-level window with this title, or null.
inline GtkWidget* FindWindow(const std::string& title)
{
    GtkWidget* found = nullptr;
    GList* windows = gtk_window_list_toplevels();
    for (GList* l = windows; l; l = l->next) {
        GtkWidget* w = GTK_WIDGET(l->data);
        const gchar* t = gtk_window_get_title(GTK_WINDOW(w));
        if (!found && gtk_widget_get_visible(w) && t && title == t)
            found = w;
    }
    g_list_free(windows);
    return found;
}

// The WM_CLASS a shown window gives the X server: "name/class".
inline std::string WindowClass(GtkWidget* window)
{
    GdkAtom type;
    gint format = 0, length = 0;
    guchar* data = nullptr;
    if (!gdk_property_get(gtk_widget_get_window(window), gdk_atom_intern("WM_CLASS", FALSE),
                          GDK_NONE, 0, 1024, FALSE, &type, &format, &length, &data))
        return std::string();
    std::string text(reinterpret_cast<char*>(data), length);
    g_free(data);
    const std::size_t split = text.find('\0');
    if (split == std::string::npos)
        return text;
    std::string cls = text.substr(split + 1);
    if (!cls.empty() && cls.back() == '\0')
        cls.pop_back();
    return text.substr(0, split) + "/" + cls;
}

// Brings the notebook page with this tab label to the front, as a click on
// the tab does.
inline bool ShowPage(GtkWidget* root, const std::string& tab)
{
    GtkWidget* notebook = FindOfType(root, GTK_TYPE_NOTEBOOK);
    if (!notebook)
        return false;
    for (int i = 0; i < gtk_notebook_get_n_pages(GTK_NOTEBOOK(notebook)); ++i) {
        GtkWidget* page = gtk_notebook_get_nth_page(GTK_NOTEBOOK(notebook), i);
        const gchar* t = gtk_notebook_get_tab_label_text(GTK_NOTEBOOK(notebook), page);
        if (t && tab == t) {
            gtk_notebook_set_current_page(GTK_NOTEBOOK(notebook), i);
            Pump(20);
            return true;
        }
    }
    return false;
}

// --- acting ---

// Presses a button a person can reach (shown, on screen, sensitive);
// false, and nothing happens, otherwise.
inline bool Click(GtkWidget* button)
{
    if (!button || !GTK_IS_BUTTON(button) || !gtk_widget_is_sensitive(button) ||
        !gtk_widget_is_drawable(button))
        return false;
    gtk_button_clicked(GTK_BUTTON(button));
    return true;
}

inline bool IsPressed(GtkWidget* toggle)
{
    return toggle && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(toggle));
}

// Replaces an entry's text the way typing over a selection does.
inline void Type(GtkWidget* entry, const std::string& text)
{
    gtk_editable_delete_text(GTK_EDITABLE(entry), 0, -1);
    gint position = 0;
    gtk_editable_insert_text(GTK_EDITABLE(entry), text.c_str(), gint(text.size()), &position);
}

inline int RowCount(GtkTreeView* view)
{
    return view ? gtk_tree_model_iter_n_children(gtk_tree_view_get_model(view), nullptr) : 0;
}

// Moves the cursor to a row (the row becomes selected), as a click does.
inline void SelectRow(GtkTreeView* view, int row)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_set_cursor(view, path, nullptr, FALSE);
    gtk_tree_path_free(path);
}

// Adds rows to the selection (ctrl-click) of a multiple-selection view.
inline void AddToSelection(GtkTreeView* view, int row)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_selection_select_path(gtk_tree_view_get_selection(view), path);
    gtk_tree_path_free(path);
}

// Double-click on a row.
inline void ActivateRow(GtkTreeView* view, int row)
{
    GtkTreePath* path = gtk_tree_path_new_from_indices(row, -1);
    gtk_tree_view_row_activated(view, path, gtk_tree_view_get_column(view, 0));
    gtk_tree_path_free(path);
}

// Clicks the item of the (first) icon view below root whose model column
// holds text: the cursor moves there and the item becomes selected.
inline bool ChooseIconViewItem(GtkWidget* root, int column, const std::string& text)
{
    GtkIconView* view = GTK_ICON_VIEW(FindOfType(root, GTK_TYPE_ICON_VIEW));
    if (!view)
        return false;
    GtkTreeModel* model = gtk_icon_view_get_model(view);
    GtkTreeIter iter;
    for (bool ok = gtk_tree_model_get_iter_first(model, &iter); ok;
         ok = gtk_tree_model_iter_next(model, &iter)) {
        gchar* value = nullptr;
        gtk_tree_model_get(model, &iter, column, &value, -1);
        const bool match = value && text == value;
        g_free(value);
        if (match) {
            GtkTreePath* path = gtk_tree_model_get_path(model, &iter);
            gtk_icon_view_set_cursor(view, path, nullptr, FALSE);
            gtk_icon_view_select_path(view, path);
            gtk_tree_path_free(path);
            return true;
        }
    }
    return false;
}

// Clicks the check cell of a row in the column with this title.
inline bool ToggleCell(GtkTreeView* view, const std::string& columnTitle, int row)
{
    GtkTreeViewColumn* column = FindColumn(view, columnTitle);
    if (!column)
        return false;
    GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(column));
    GtkCellRenderer* toggle = nullptr;
    for (GList* l = cells; l; l = l->next)
        if (GTK_IS_CELL_RENDERER_TOGGLE(l->data))
            toggle = GTK_CELL_RENDERER(l->data);
    g_list_free(cells);
    if (!toggle)
        return false;
    const std::string path = std::to_string(row);
    g_signal_emit_by_name(toggle, "toggled", path.c_str());
    return true;
}

// Model value of a row: text and boolean columns.
inline std::string CellText(GtkTreeView* view, int row, int column)
{
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeIter iter;
    if (!gtk_tree_model_iter_nth_child(model, &iter, nullptr, row))
        return "<no row>";
    gchar* text = nullptr;
    gtk_tree_model_get(model, &iter, column, &text, -1);
    std::string result = text ? text : "";
    g_free(text);
    return result;
}

inline bool CellBool(GtkTreeView* view, int row, int column)
{
    GtkTreeModel* model = gtk_tree_view_get_model(view);
    GtkTreeIter iter;
    gboolean value = FALSE;
    if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, row))
        gtk_tree_model_get(model, &iter, column, &value, -1);
    return value;
}

// The image of a row (a new reference, or null).
inline GdkPixbuf* CellPixbuf(GtkTreeModel* model, int row, int column)
{
    GtkTreeIter iter;
    GdkPixbuf* pixbuf = nullptr;
    if (gtk_tree_model_iter_nth_child(model, &iter, nullptr, row))
        gtk_tree_model_get(model, &iter, column, &pixbuf, -1);
    return pixbuf;
}

inline std::vector<std::string> ColumnTexts(GtkTreeView* view, int column)
{
    std::vector<std::string> texts;
    for (int i = 0; i < RowCount(view); ++i)
        texts.push_back(CellText(view, i, column));
    return texts;
}

// The close button of the window frame: what a window manager sends.
inline void CloseFromWindowManager(GtkWidget* window)
{
    GdkEvent* event = gdk_event_new(GDK_DELETE);
    event->any.window = GDK_WINDOW(g_object_ref(gtk_widget_get_window(window)));
    event->any.send_event = TRUE;
    gtk_main_do_event(event);
    gdk_event_free(event);
}

// True when two images have the same size and pixels.
inline bool SamePixels(GdkPixbuf* a, GdkPixbuf* b)
{
    if (!a || !b)
        return a == b;
    if (gdk_pixbuf_get_width(a) != gdk_pixbuf_get_width(b) ||
        gdk_pixbuf_get_height(a) != gdk_pixbuf_get_height(b) ||
        gdk_pixbuf_get_n_channels(a) != gdk_pixbuf_get_n_channels(b))
        return false;
    const int rowBytes = gdk_pixbuf_get_width(a) * gdk_pixbuf_get_n_channels(a);
    for (int y = 0; y < gdk_pixbuf_get_height(a); ++y)
        if (std::memcmp(gdk_pixbuf_get_pixels(a) + y * gdk_pixbuf_get_rowstride(a),
                        gdk_pixbuf_get_pixels(b) + y * gdk_pixbuf_get_rowstride(b), rowBytes) != 0)
            return false;
    return true;
}

// --- message boxes ---

struct MessageBox {
    GtkMessageType type;
    std::string text;
    gint response;
};

// Answers every message box that appears while it exists, from a timeout
// (the box's own gtk_dialog_run keeps the main loop going), and records
// what each said.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(gint response = GTK_RESPONSE_OK) : m_response(response)
    {
        m_source = gdk_threads_add_timeout(10, &MessageBoxAnswerer::Poll, this);
    }
    ~MessageBoxAnswerer() { g_source_remove(m_source); }
    MessageBoxAnswerer(const MessageBoxAnswerer&) = delete;
    MessageBoxAnswerer& operator=(const MessageBoxAnswerer&) = delete;

    // The answer for the boxes from now on (GTK_RESPONSE_OK, _CANCEL ...).
    void Answer(gint response) { m_response = response; }
    const std::vector<MessageBox>& Boxes() const { return m_boxes; }
    std::vector<std::string> Texts() const
    {
        std::vector<std::string> texts;
        for (const MessageBox& box : m_boxes)
            texts.push_back(box.text);
        return texts;
    }
    void Clear() { m_boxes.clear(); }

private:
    static gboolean Poll(gpointer data)
    {
        MessageBoxAnswerer* self = static_cast<MessageBoxAnswerer*>(data);
        GList* windows = gtk_window_list_toplevels();
        std::vector<GtkWidget*> boxes;
        for (GList* l = windows; l; l = l->next) {
            GtkWidget* w = GTK_WIDGET(l->data);
            if (GTK_IS_MESSAGE_DIALOG(w) && gtk_widget_get_visible(w) &&
                !g_object_get_data(G_OBJECT(w), "tavguitest-answered"))
                boxes.push_back(w);
        }
        g_list_free(windows);
        for (GtkWidget* box : boxes) {
            g_object_set_data(G_OBJECT(box), "tavguitest-answered", box);
            gchar* text = nullptr;
            GtkMessageType type = GTK_MESSAGE_OTHER;
            g_object_get(box, "text", &text, "message-type", &type, nullptr);
            self->m_boxes.push_back({type, text ? text : "", self->m_response});
            g_free(text);
            gtk_dialog_response(GTK_DIALOG(box), self->m_response);
        }
        return TRUE;
    }

    gint m_response;
    guint m_source = 0;
    std::vector<MessageBox> m_boxes;
};

} // namespace tavguitest

#endif
