// The spreadsheet exports write through two libraries (the Excel 97-2003
// container through libgsf, Office Open XML through libxlsxwriter) that are
// not linked: the functions below load them when an export first calls one.
// Linked, they and theirs (GLib's object system, GIO, zip, ...) were loaded by
// every start of the window and of the command line, for an export that most
// sessions never make. A function the exports start to use is one more line
// here. This file is compiled with hidden symbols, so that these stand-ins
// serve the program's own calls only, never another library's.
#include "core/LateBinding.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <xlsxwriter.h>

namespace
{
const char kGsf[] = "libgsf-1.so.114";
// Loaded with libgsf, which needs it.
const char kGObject[] = "libgobject-2.0.so.0";
const char kXlsxWriter[] = "libxlsxwriter.so.4";

} // namespace

extern "C"
{
    void gsf_init(void)
    {
        KV_FORWARD(kGsf, gsf_init);
    }
    GsfOutput* gsf_output_stdio_new_FILE(char const* filename, FILE* file, gboolean keep_open)
    {
        KV_FORWARD(kGsf, gsf_output_stdio_new_FILE, filename, file, keep_open);
    }
    GsfOutfile* gsf_outfile_msole_new(GsfOutput* sink)
    {
        KV_FORWARD(kGsf, gsf_outfile_msole_new, sink);
    }
    GsfOutput* gsf_outfile_new_child(GsfOutfile* outfile, char const* name, gboolean is_dir)
    {
        KV_FORWARD(kGsf, gsf_outfile_new_child, outfile, name, is_dir);
    }
    gboolean gsf_output_write(GsfOutput* output, size_t num_bytes, guint8 const* data)
    {
        KV_FORWARD(kGsf, gsf_output_write, output, num_bytes, data);
    }
    gboolean gsf_output_close(GsfOutput* output)
    {
        KV_FORWARD(kGsf, gsf_output_close, output);
    }
    gboolean gsf_output_is_closed(GsfOutput const* output)
    {
        KV_FORWARD(kGsf, gsf_output_is_closed, output);
    }
    GType gsf_output_get_type(void)
    {
        KV_FORWARD(kGsf, gsf_output_get_type);
    }
    void g_object_unref(gpointer object)
    {
        KV_FORWARD(kGObject, g_object_unref, object);
    }
    GTypeInstance* g_type_check_instance_cast(GTypeInstance* instance, GType iface_type)
    {
        KV_FORWARD(kGObject, g_type_check_instance_cast, instance, iface_type);
    }

    lxw_workbook* workbook_new(const char* filename)
    {
        KV_FORWARD(kXlsxWriter, workbook_new, filename);
    }
    lxw_worksheet* workbook_add_worksheet(lxw_workbook* workbook, const char* sheetname)
    {
        KV_FORWARD(kXlsxWriter, workbook_add_worksheet, workbook, sheetname);
    }
    lxw_format* workbook_add_format(lxw_workbook* workbook)
    {
        KV_FORWARD(kXlsxWriter, workbook_add_format, workbook);
    }
    lxw_error workbook_close(lxw_workbook* workbook)
    {
        KV_FORWARD(kXlsxWriter, workbook_close, workbook);
    }
    void format_set_num_format(lxw_format* format, const char* num_format)
    {
        KV_FORWARD(kXlsxWriter, format_set_num_format, format, num_format);
    }
    void format_set_align(lxw_format* format, uint8_t alignment)
    {
        KV_FORWARD(kXlsxWriter, format_set_align, format, alignment);
    }
    void format_set_font_color(lxw_format* format, lxw_color_t color)
    {
        KV_FORWARD(kXlsxWriter, format_set_font_color, format, color);
    }
    void format_set_bold(lxw_format* format)
    {
        KV_FORWARD(kXlsxWriter, format_set_bold, format);
    }
    lxw_error worksheet_set_column(lxw_worksheet* worksheet, lxw_col_t first_col,
                                   lxw_col_t last_col, double width, lxw_format* format)
    {
        KV_FORWARD(kXlsxWriter, worksheet_set_column, worksheet, first_col, last_col, width,
                   format);
    }
    lxw_error worksheet_write_string(lxw_worksheet* worksheet, lxw_row_t row, lxw_col_t col,
                                     const char* string, lxw_format* format)
    {
        KV_FORWARD(kXlsxWriter, worksheet_write_string, worksheet, row, col, string, format);
    }
}
