// Walks tables of (object name, property, expected value) over a real main
// window and about box: every named widget and action, its kind, where it
// sits, its texts, limits, flags, dates and the captions laid out beside it.
// A typo in a form or a widget moved to the wrong page shows up as one row.

#include "core/CAppGlobals.h"
#include "core/CAppSettings.h"
#include "app/CAppStyle.h"
#include "app/CKorvalent.h"
#include "core/CClock.h"
#include "core/CUserPrompts.h"
#include "tests/common/TestSupport.h"
#include "tools/CAboutDialog.h"
#include "ui_CKorvalent.h"
#include "report/CReportFile.h"
#include "report/CReportData.h"

#include <QAbstractSpinBox>
#include <QAction>
#include <QApplication>
#include <QAbstractItemView>
#include <QDateEdit>
#include <QDesktopServices>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QStyle>
#include <QStyleFactory>
#include <QToolButton>
#include <QIcon>
#include <QtTest>

#include <array>
#include <memory>

namespace
{
struct TextRow
{
    const char* object;
    const char* property;
    const char* expected;
};

struct NumberRow
{
    const char* object;
    const char* property;
    int expected;
};

struct KindRow
{
    const char* object;
    const char* kind;
    const char* ancestor; // nullptr: no check
};

// ---- widget tree: kinds and where each object sits ----
const KindRow s_kinds[] = {
    {"Korvalent", "QMainWindow", nullptr},
    {"centralWidget", "QWidget", "Korvalent"},
    {"mainTabWidget", "QTabWidget", "centralWidget"},
    {"tab", "QWidget", "mainTabWidget"},
    {"tab_2", "QWidget", "mainTabWidget"},
    {"ResultFilesTable", "QTableView", "tab"},
    {"ResultFileContentTable", "QTableView", "tab"},
    {"StatisticsTable", "QTableView", "tab"},
    {"resultsToolBarFrame", "QFrame", "tab"},
    {"toolbutton_results_show_help", "QToolButton", "resultsToolBarFrame"},
    {"toolbutton_results_download_database", "QToolButton", "resultsToolBarFrame"},
    {"toolbutton_results_load_database_from_file", "QToolButton", "resultsToolBarFrame"},
    {"toolbutton_results_load_file", "QToolButton", "resultsToolBarFrame"},
    {"toolbutton_results_delete_file", "QToolButton", "resultsToolBarFrame"},
    {"toolbutton_results_save_file", "QToolButton", "resultsToolBarFrame"},
    {"toolbutton_results_save_database_to_file", "QToolButton", "resultsToolBarFrame"},
    {"line_3", "QFrame", "resultsToolBarFrame"},
    {"line_6", "QFrame", "resultsToolBarFrame"},
    {"line_5", "QFrame", "resultsToolBarFrame"},
    {"TimeDateFrame", "QFrame", "resultsToolBarFrame"},
    {"CurrentDateLabel", "QLabel", "TimeDateFrame"},
    {"CurrentTimeLabel", "QLabel", "TimeDateFrame"},
    {"reportTabWidget", "QTabWidget", "tab_2"},
    {"reportToolBarFrame", "QFrame", "tab_2"},
    {"toolbutton_report_refresh", "QToolButton", "reportToolBarFrame"},
    {"toolbutton_report_print_preview", "QToolButton", "reportToolBarFrame"},
    {"toolbutton_report_new", "QToolButton", "reportToolBarFrame"},
    {"toolbutton_report_open_from_file", "QToolButton", "reportToolBarFrame"},
    {"toolbutton_report_print", "QToolButton", "reportToolBarFrame"},
    {"toolbutton_report_save_to_file", "QToolButton", "reportToolBarFrame"},
    {"toolbutton_report_show_help", "QToolButton", "reportToolBarFrame"},
    {"tab_information", "QWidget", "reportTabWidget"},
    {"tab_3", "QWidget", "reportTabWidget"},
    {"tab_conclusion", "QWidget", "reportTabWidget"},
    {"tab_preview", "QWidget", "reportTabWidget"},
    {"ReportGoToResultsButton", "QPushButton", "tab_information"},
    {"ReportClearInfoFieldsButton", "QPushButton", "tab_information"},
    {"ReportResultsTable", "QTableView", "tab_3"},
    {"ReportStatsTable", "QTableView", "tab_3"},
    {"ReportGoToConclutionButton", "QPushButton", "tab_3"},
    {"ReportGoToPreviewButton", "QPushButton", "tab_conclusion"},
    {"ReportClearConclutionFieldsButton", "QPushButton", "tab_conclusion"},
    {"ReportBrowser", "QTextBrowser", "tab_preview"},
    {"ConclutionNumberEdit", "QLineEdit", "tab_information"},
    {"ConclutionDate", "QDateEdit", "tab_information"},
    {"OrganizationEdit", "QPlainTextEdit", "tab_information"},
    {"ObjectOfControlEdit", "QLineEdit", "tab_information"},
    {"ObjectDescriptionEdit", "QLineEdit", "tab_information"},
    {"ReasonOfTestingEdit", "QLineEdit", "tab_information"},
    {"ObjectOwnerEdit", "QLineEdit", "tab_information"},
    {"OperatorOrganizationEdit", "QLineEdit", "tab_information"},
    {"StandardDocumentsEdit", "QLineEdit", "tab_information"},
    {"DeviceDescriptionEdit", "QLineEdit", "tab_information"},
    {"DeviceSerialNumberEdit", "QLineEdit", "tab_information"},
    {"PEPDescriptionEdit", "QLineEdit", "tab_information"},
    {"PEPSerialNumberEdit", "QLineEdit", "tab_information"},
    {"MeasurementMethodEdit", "QLineEdit", "tab_information"},
    {"ReferenceDescEdit", "QLineEdit", "tab_information"},
    {"ContactLiquidDescEdit", "QLineEdit", "tab_information"},
    {"AccessCardEdit", "QLineEdit", "tab_information"},
    {"ConclutionEdit", "QPlainTextEdit", "tab_conclusion"},
    {"AreaManagerNameEdit", "QLineEdit", "tab_conclusion"},
    {"ManagerAccessCardNumberEdit", "QLineEdit", "tab_conclusion"},
    {"ManagerAccessCardDateEdit", "QDateEdit", "tab_conclusion"},
    {"AreaManagerLevelEdit", "QLineEdit", "tab_conclusion"},
    {"ExecutionPersonNameEdit", "QLineEdit", "tab_conclusion"},
    {"ExecutionPersonAccessCardNumberEdit", "QLineEdit", "tab_conclusion"},
    {"ExecutionPersonAccessCardDateEdit", "QDateEdit", "tab_conclusion"},
    {"ExecutionPersonLevelEdit", "QLineEdit", "tab_conclusion"},
    {"ConclutionProviderNameEdit", "QLineEdit", "tab_conclusion"},
    {"ConclutionProviderAccessCardNumberEdit", "QLineEdit", "tab_conclusion"},
    {"ConclutionProviderAccessCardDateEdit", "QDateEdit", "tab_conclusion"},
    {"ConclutionProviderLevelEdit", "QLineEdit", "tab_conclusion"},
    {"menuBar", "QMenuBar", "Korvalent"},
    {"statusBar", "QStatusBar", "Korvalent"},
    {"menu_Korvalent", "QMenu", "menuBar"},
    {"menu_Export", "QMenu", "menu_Korvalent"},
    {"menu_Report", "QMenu", "menuBar"},
    {"menu_Settings", "QMenu", "menuBar"},
    {"menu_Service", "QMenu", "menuBar"},
    {"menu_Information", "QMenu", "menuBar"},
};

// ---- texts: object, property, exact text ----
// Pseudo-properties: "tabText" (title of the page in its tab widget),
// "captionLeft" / "captionAbove" / "captionRight" (a label laid out beside
// the field), "groupTitle" (the framed group around the field),
// "fontFamily", "statusTipOfMenu" (the status tip of a sub-menu's entry).
const TextRow s_texts[] = {
    // window frame
    {"tab", "tabText", "     Данные     "},
    {"tab_2", "tabText", "     Отчёт     "},
    {"tab_information", "tabText", "Заголовок"},
    {"tab_3", "tabText", "Таблица результатов"},
    {"tab_conclusion", "tabText", "Заключение"},
    {"tab_preview", "tabText", "Предпросмотр отчёта"},
    {"CurrentDateLabel", "objectName", "CurrentDateLabel"},
    {"ResultFilesTable", "fontFamily", "Arial"},
    {"ResultFileContentTable", "fontFamily", "Arial"},
    {"StatisticsTable", "fontFamily", "Arial"},
    {"ResultFilesTable", "styleSheet",
     "selection-background-color: rgb(0, 170, 255);\nselection-color: rgb(255, 255, 255);"},
    {"ResultFileContentTable", "styleSheet",
     "selection-background-color: rgb(0, 170, 255);\nselection-color: rgb(255, 255, 255);"},

    // menus
    {"menu_Korvalent", "title", "Файл"},
    {"menu_Export", "title", "Экспорт таблицы результатов"},
    {"menu_Export", "statusTip", "Преобразование выбранного файла данных в форматы XLS и CSV"},
    {"menu_Export", "statusTipOfMenu",
     "Преобразование выбранного файла данных в форматы XLS и CSV"},
    {"menu_Report", "title", "Отчёт"},
    {"menu_Settings", "title", "Настройки"},
    {"menu_Service", "title", "Сервис"},
    {"menu_Information", "title", "Информация"},

    // actions: texts
    {"action_file_download_database_from_device", "text", "Получить из прибора базу …"},
    {"action_file_upload_database_to_device", "text", "Отправить в прибор базу …"},
    {"action_file_load_database_from_file", "text", "Получить из ПК базу …"},
    {"action_file_save_database_to_file", "text", "Сохранить базу на ПК ..."},
    {"action_file_load_result_file", "text", "Открыть ..."},
    {"action_file_save_result_file", "text", "Сохранить как ..."},
    {"action_file_delete", "text", "Удалить"},
    {"action_file_exit", "text", "&Выход ..."},
    {"action_file_export_to_xls", "text", "В формате XLS ..."},
    {"action_file_export_to_csv", "text", "В формате CSV ..."},
    {"action_report_new", "text", "Создать"},
    {"action_report_open", "text", "Открыть ..."},
    {"action_report_save", "text", "Сохранить как ..."},
    {"action_report_preview", "text", "Предпросмотр"},
    {"action_report_print", "text", "Печать"},
    {"action_show_pep_params_editor_dialog", "text", "Редактор параметров Д-ПЭП"},
    {"action_show_materials_editor_dialog", "text", "Редактор базы материалов"},
    {"action_show_device_selector_dialog", "text", "Выбрать устройство для подключения"},
    {"action_get_device_firmware_version", "text", "Получить версию прошивки устройства"},
    {"action_show_screenshot_maker_dialog", "text", "Получить снимок экрана прибора"},
    {"action_show_pep_list_dialog", "text", "Получить базу ПЭП"},
    {"action_service_time_sync", "text", "Синхронизировать часы (ПК - > устройство)"},
    {"action_select_documents_dir", "text", "Выбор рабочего каталога"},
    {"action_show_info", "text", "О программе"},
    {"action_show_help", "text", "Помощь"},

    // actions: status tips (empty where the form sets none)
    {"action_file_exit", "statusTip", "Выход из программы"},
    {"action_file_download_database_from_device", "statusTip",
     "Получение из прибора базы данных результатов измерений (всех файлов данных)"},
    {"action_file_upload_database_to_device", "statusTip",
     "Запись в память прибора базы данных результатов измерений (одного или всех файлов данных)"},
    {"action_file_load_database_from_file", "statusTip",
     "Получение из накопителя ПК базы данных результатов измерений (всех файлы данных)"},
    {"action_file_save_database_to_file", "statusTip",
     "Сохранение базы с данными результатов измере-ний, представленных на панелях главного окна, "
     "на накопитель ПК"},
    {"action_file_load_result_file", "statusTip",
     "Открытие файла данных из полученной из прибора базы данных результатов измерений"},
    {"action_file_save_result_file", "statusTip",
     "Сохранение копии файла с другим именем на накопителе ПК"},
    {"action_file_delete", "statusTip",
     "Удаление выделенного файла из загруженной базы, или закрытие ранее загруженного файла"},
    {"action_report_new", "statusTip",
     "Составление нового заключения по ультразвуковой толщинометрии объекта контроля"},
    {"action_report_open", "statusTip",
     "Открытие сохраненного на накопителе ПК файла заключения для редактирования"},
    {"action_report_save", "statusTip", "Сохранение копии отредактированного файла заключения"},
    {"action_report_preview", "statusTip",
     "Предварительный просмотр заполненной формы заключения перед отправкой на печать"},
    {"action_report_print", "statusTip",
     "Отправка на принтер готовой формы заключения для распечатки"},
    {"action_service_time_sync", "statusTip",
     "Синхронизация часов, даты между прибором и ПК при подключении их друг к другу"},
    {"action_select_documents_dir", "statusTip",
     "Выбор рабочего каталога программы, для результатов замеров, отчётов, и других файлов "
     "программы Korvalent"},
    {"action_show_info", "statusTip",
     "Получение информации о текущей версии программы, данных о разработчике."},
    {"action_show_help", "statusTip",
     "Справочная информация о программе, содержащая руководство пользователя"},
    {"action_file_export_to_xls", "statusTip", ""},
    {"action_file_export_to_csv", "statusTip", ""},
    {"action_show_pep_params_editor_dialog", "statusTip", ""},
    {"action_show_materials_editor_dialog", "statusTip", ""},
    {"action_show_device_selector_dialog", "statusTip", ""},
    {"action_get_device_firmware_version", "statusTip", ""},
    {"action_show_screenshot_maker_dialog", "statusTip", ""},
    {"action_show_pep_list_dialog", "statusTip", ""},

    // tool buttons
    {"toolbutton_results_download_database", "toolTip",
     "Получение из прибора базы данных результатов измерений (всех файлов данных)"},
    {"toolbutton_results_load_database_from_file", "toolTip",
     "Загрузка базы данных с накопителя  ПК"},
    {"toolbutton_results_save_database_to_file", "toolTip",
     "Сохранение базы данных на накопитель ПК"},
    {"toolbutton_results_load_file", "toolTip",
     "Открыть и загрузить в QM-3RX ранее сохранённый на ПК файл с замерами"},
    {"toolbutton_results_save_file", "toolTip",
     "Сохранение копии файла с другим именем на накопителе ПК"},
    {"toolbutton_results_delete_file", "toolTip",
     "Удаление выделенного файла данных из программы/базы данных"},
    {"toolbutton_results_show_help", "toolTip", "Вызов справки"},
    {"toolbutton_report_refresh", "toolTip", "Обновить данные"},
    {"toolbutton_report_print_preview", "toolTip",
     "Предварительный просмотр заполненной формы заключения перед отправкой на печать"},
    {"toolbutton_report_new", "toolTip", "Создание нового заключения"},
    {"toolbutton_report_open_from_file", "toolTip",
     "Открытие сохраненного файла заключения для редактирования"},
    {"toolbutton_report_print", "toolTip",
     "Отправка на принтер готовой формы заключения для распечатки"},
    {"toolbutton_report_save_to_file", "toolTip",
     "Сохранение копии отредактированного файла заключения"},
    {"toolbutton_report_show_help", "toolTip", "Вызов справки"},

    // report page buttons
    {"ReportGoToResultsButton", "text", "Результаты"},
    {"ReportClearInfoFieldsButton", "text", "Очистить форму"},
    {"ReportGoToConclutionButton", "text", "Заключение"},
    {"ReportGoToPreviewButton", "text", "Предпросмотр"},
    {"ReportClearConclutionFieldsButton", "text", "Очистить форму"},

    // header page: initial texts and captions
    {"ConclutionNumberEdit", "text", ""},
    {"ConclutionNumberEdit", "captionLeft", "Заключение №"},
    {"ConclutionDate", "displayFormat", "dd.MM.yyyy"},
    {"ConclutionDate", "captionLeft", "от"},
    {"OrganizationEdit", "plainText",
     "Название организации-оператора неразрушающего контроля (НК)"},
    {"OrganizationEdit", "captionLeft",
     "Название организации-оператора неразрушающего контроля (НК)"},
    {"ObjectOfControlEdit", "text",
     "наименование объекта, заводской № _______, регистрационный № ______________"},
    {"ObjectOfControlEdit", "captionLeft", "Объект контроля"},
    {"ObjectDescriptionEdit", "text",
     "геометрические размеры, марка материала, номинал толщины стенки и др."},
    {"ObjectDescriptionEdit", "captionLeft", "Описание объекта (изделия,  детали)"},
    {"ReasonOfTestingEdit", "text", "НК плановый, после ремонта и др."},
    {"ReasonOfTestingEdit", "captionLeft", "Причина контроля"},
    {"ObjectOwnerEdit", "text", "название организации"},
    {"ObjectOwnerEdit", "captionLeft", "Организация-собственник объекта"},
    {"OperatorOrganizationEdit", "text", "название организации"},
    {"OperatorOrganizationEdit", "captionLeft", "Организация-оператор НК"},
    {"StandardDocumentsEdit", "text", "тип и № документа: ОСТ..., СТО..., РД..., ПНАЭ... др."},
    {"StandardDocumentsEdit", "captionLeft", "Нормативные документы"},
    {"DeviceDescriptionEdit", "text", ""},
    {"DeviceDescriptionEdit", "captionLeft", "Тип (марка) толщиномера"},
    {"DeviceSerialNumberEdit", "text", ""},
    {"DeviceSerialNumberEdit", "captionLeft", "Серийный  / Заводской №"},
    {"PEPDescriptionEdit", "text", "Н/Д"},
    {"PEPDescriptionEdit", "captionLeft", "Тип (марка) ПЭП"},
    {"PEPSerialNumberEdit", "text", "Н/Д"},
    {"PEPSerialNumberEdit", "captionLeft", "Серийный  / Заводской №"},
    {"MeasurementMethodEdit", "text",
     "ультразвуковой эхо-импульсный, режим - ..., указать методический документ"},
    {"MeasurementMethodEdit", "captionLeft", "Метод, режим измерения"},
    {"ReferenceDescEdit", "text", "тип и № образцов: ГСО, СОП, ОС-... для настройки"},
    {"ReferenceDescEdit", "captionLeft", "Стандартный образец предприятия"},
    {"ContactLiquidDescEdit", "text", "глицерин ГОСТ 6823, технический гель и др."},
    {"ContactLiquidDescEdit", "captionLeft", "Тип контактной смазки (жидкости)"},
    {"AccessCardEdit", "text", "указать шифр, № технологической карты"},
    {"AccessCardEdit", "captionLeft", "Технологическая карта контроля №"},

    // conclusion page
    {"ConclutionEdit", "plainText", ""},
    {"AreaManagerNameEdit", "groupTitle", "Руководитель участка:"},
    {"ManagerAccessCardNumberEdit", "groupTitle", "Руководитель участка:"},
    {"ManagerAccessCardDateEdit", "groupTitle", "Руководитель участка:"},
    {"AreaManagerLevelEdit", "groupTitle", "Руководитель участка:"},
    {"ExecutionPersonNameEdit", "groupTitle", "Контроль произвел:"},
    {"ExecutionPersonAccessCardNumberEdit", "groupTitle", "Контроль произвел:"},
    {"ExecutionPersonAccessCardDateEdit", "groupTitle", "Контроль произвел:"},
    {"ExecutionPersonLevelEdit", "groupTitle", "Контроль произвел:"},
    {"ConclutionProviderNameEdit", "groupTitle", "Заключение выдал:"},
    {"ConclutionProviderAccessCardNumberEdit", "groupTitle", "Заключение выдал:"},
    {"ConclutionProviderAccessCardDateEdit", "groupTitle", "Заключение выдал:"},
    {"ConclutionProviderLevelEdit", "groupTitle", "Заключение выдал:"},
    {"AreaManagerNameEdit", "captionAbove", "Фамилия И.O."},
    {"ExecutionPersonNameEdit", "captionAbove", "Фамилия И.O."},
    {"ConclutionProviderNameEdit", "captionAbove", "Фамилия И.O."},
    {"AreaManagerLevelEdit", "captionLeft", "Специалист"},
    {"ExecutionPersonLevelEdit", "captionLeft", "Специалист"},
    {"ConclutionProviderLevelEdit", "captionLeft", "Специалист"},
    {"AreaManagerLevelEdit", "captionRight", "уровня УЗК"},
    {"ExecutionPersonLevelEdit", "captionRight", "уровня УЗК"},
    {"ConclutionProviderLevelEdit", "captionRight", "уровня УЗК"},
    {"ManagerAccessCardNumberEdit", "captionLeft", "удостоверение №"},
    {"ExecutionPersonAccessCardNumberEdit", "captionLeft", "удостоверение №"},
    {"ConclutionProviderAccessCardNumberEdit", "captionLeft", "удостоверение №"},
    {"ManagerAccessCardDateEdit", "captionLeft", "от"},
    {"ExecutionPersonAccessCardDateEdit", "captionLeft", "от"},
    {"ConclutionProviderAccessCardDateEdit", "captionLeft", "от"},
    {"ManagerAccessCardDateEdit", "text", "01.01.2016"},
    {"ExecutionPersonAccessCardDateEdit", "text", "01.01.2016"},
    {"ConclutionProviderAccessCardDateEdit", "text", "01.01.2016"},
    {"ManagerAccessCardDateEdit", "displayFormat", "dd.MM.yyyy"},
    {"ExecutionPersonAccessCardDateEdit", "displayFormat", "dd.MM.yyyy"},
    {"ConclutionProviderAccessCardDateEdit", "displayFormat", "dd.MM.yyyy"},
    {"AreaManagerNameEdit", "text", ""},
    {"ManagerAccessCardNumberEdit", "text", ""},
    {"AreaManagerLevelEdit", "text", ""},
};

// ---- numbers and flags ----
// "hAlign": horizontal part of the alignment; "digitsHint": 1 when the
// digits-only input hint is set; "visible" for actions: visible in the menu.
const NumberRow s_numbers[] = {
    {"ConclutionNumberEdit", "maxLength", 128},
    {"ObjectOfControlEdit", "maxLength", 128},
    {"ObjectDescriptionEdit", "maxLength", 128},
    {"ReasonOfTestingEdit", "maxLength", 128},
    {"ObjectOwnerEdit", "maxLength", 128},
    {"OperatorOrganizationEdit", "maxLength", 128},
    {"StandardDocumentsEdit", "maxLength", 128},
    {"DeviceDescriptionEdit", "maxLength", 16},
    {"DeviceSerialNumberEdit", "maxLength", 10},
    {"PEPDescriptionEdit", "maxLength", 128},
    {"PEPSerialNumberEdit", "maxLength", 10},
    {"MeasurementMethodEdit", "maxLength", 128},
    {"ReferenceDescEdit", "maxLength", 128},
    {"ContactLiquidDescEdit", "maxLength", 128},
    {"AccessCardEdit", "maxLength", 128},
    {"ConclutionNumberEdit", "readOnly", 0},
    {"ObjectOfControlEdit", "readOnly", 0},
    {"ObjectDescriptionEdit", "readOnly", 0},
    {"ReasonOfTestingEdit", "readOnly", 0},
    {"ObjectOwnerEdit", "readOnly", 0},
    {"OperatorOrganizationEdit", "readOnly", 0},
    {"StandardDocumentsEdit", "readOnly", 0},
    {"DeviceDescriptionEdit", "readOnly", 1},
    {"DeviceSerialNumberEdit", "readOnly", 1},
    {"PEPDescriptionEdit", "readOnly", 1},
    {"PEPSerialNumberEdit", "readOnly", 1},
    {"MeasurementMethodEdit", "readOnly", 0},
    {"ReferenceDescEdit", "readOnly", 0},
    {"ContactLiquidDescEdit", "readOnly", 0},
    {"AccessCardEdit", "readOnly", 0},
    {"OrganizationEdit", "readOnly", 0},
    {"OrganizationEdit", "tabChangesFocus", 1},
    {"ConclutionEdit", "readOnly", 0},
    {"ConclutionEdit", "tabChangesFocus", 1},

    {"ConclutionDate", "calendarPopup", 1},
    {"ConclutionDate", "buttonSymbols", QAbstractSpinBox::NoButtons},
    {"ConclutionDate", "readOnly", 0},
    {"ConclutionDate", "hAlign", Qt::AlignHCenter},
    {"ManagerAccessCardDateEdit", "calendarPopup", 1},
    {"ManagerAccessCardDateEdit", "buttonSymbols", QAbstractSpinBox::NoButtons},
    {"ManagerAccessCardDateEdit", "hAlign", Qt::AlignHCenter},
    {"ExecutionPersonAccessCardDateEdit", "calendarPopup", 1},
    {"ExecutionPersonAccessCardDateEdit", "buttonSymbols", QAbstractSpinBox::NoButtons},
    {"ExecutionPersonAccessCardDateEdit", "hAlign", Qt::AlignHCenter},
    {"ConclutionProviderAccessCardDateEdit", "calendarPopup", 1},
    {"ConclutionProviderAccessCardDateEdit", "buttonSymbols", QAbstractSpinBox::NoButtons},
    {"ConclutionProviderAccessCardDateEdit", "hAlign", Qt::AlignHCenter},

    {"AreaManagerNameEdit", "maxLength", 64},
    {"ExecutionPersonNameEdit", "maxLength", 64},
    {"ConclutionProviderNameEdit", "maxLength", 64},
    {"ManagerAccessCardNumberEdit", "maxLength", 32767},
    {"ExecutionPersonAccessCardNumberEdit", "maxLength", 32767},
    {"ConclutionProviderAccessCardNumberEdit", "maxLength", 32767},
    {"ManagerAccessCardNumberEdit", "hAlign", Qt::AlignHCenter},
    {"ExecutionPersonAccessCardNumberEdit", "hAlign", Qt::AlignHCenter},
    {"ConclutionProviderAccessCardNumberEdit", "hAlign", Qt::AlignHCenter},
    {"ManagerAccessCardNumberEdit", "digitsHint", 1},
    {"ExecutionPersonAccessCardNumberEdit", "digitsHint", 1},
    {"ConclutionProviderAccessCardNumberEdit", "digitsHint", 1},
    {"AreaManagerLevelEdit", "maxLength", 1},
    {"ExecutionPersonLevelEdit", "maxLength", 1},
    {"ConclutionProviderLevelEdit", "maxLength", 1},
    {"AreaManagerLevelEdit", "digitsHint", 1},
    {"ExecutionPersonLevelEdit", "digitsHint", 1},
    {"ConclutionProviderLevelEdit", "digitsHint", 1},

    {"ResultFilesTable", "editTriggers", QAbstractItemView::NoEditTriggers},
    {"ResultFileContentTable", "editTriggers", QAbstractItemView::NoEditTriggers},
    {"StatisticsTable", "editTriggers", QAbstractItemView::NoEditTriggers},
    {"mainTabWidget", "count", 3},
    {"reportTabWidget", "count", 4},

    {"action_show_pep_params_editor_dialog", "visible", 0},
    {"action_show_materials_editor_dialog", "visible", 1},
};

// Pages in order inside their tab widgets.
const char* const s_mainPages[] = {"tab", "tab_2", "tab_analysis"};
const char* const s_reportPages[] = {"tab_information", "tab_3", "tab_conclusion", "tab_preview"};

// Header fields, top to bottom.
const char* const s_headerOrder[] = {"ConclutionNumberEdit",     "OrganizationEdit",
                                     "ObjectOfControlEdit",      "ObjectDescriptionEdit",
                                     "ReasonOfTestingEdit",      "ObjectOwnerEdit",
                                     "OperatorOrganizationEdit", "StandardDocumentsEdit",
                                     "DeviceDescriptionEdit",    "DeviceSerialNumberEdit",
                                     "PEPDescriptionEdit",       "PEPSerialNumberEdit",
                                     "MeasurementMethodEdit",    "ReferenceDescEdit",
                                     "ContactLiquidDescEdit",    "AccessCardEdit"};

// ---- about box ----
const TextRow s_aboutTexts[] = {
    {"CAboutDialog", "windowTitle", "Информация о программе"},
    {"label_version", "text", "Korvalent™ 1.1.2"},
    {"label_version", "fontFamily", "MS Shell Dlg 2"},
    {"label_3", "text", "Для толщиномеров серии QM-3RX"},
    {"label_7", "text", "Телефон/факс:"},
    {"label_8", "text", "E-mail:"},
    {"label_9", "text", "Website:"},
    {"OkButton", "text", "Ok"},
};

const NumberRow s_aboutNumbers[] = {
    {"CAboutDialog", "width", 330},
    {"CAboutDialog", "height", 190},
    {"CAboutDialog", "fixedSize", 1},
    {"label", "width", 64},
    {"label", "height", 64},
    {"label", "frameShape", QFrame::NoFrame},
    {"label_version", "fontPointSize", 14},
    {"label_version", "fontBold", 1},
    {"label_version", "hAlign", Qt::AlignRight},
    {"label_version", "vAlign", Qt::AlignVCenter},
    {"label_3", "hAlign", Qt::AlignRight},
    {"label_3", "vAlign", Qt::AlignVCenter},
    {"label_3", "wordWrap", 1},
    {"label_4", "fontBold", 0},
    {"label_4", "hAlign", Qt::AlignRight},
    {"label_7", "fontPointSize", 9},
    {"label_7", "hAlign", Qt::AlignRight},
    {"label_phone", "fontPointSize", 9},
    {"label_8", "fontPointSize", 9},
    {"label_8", "hAlign", Qt::AlignRight},
    {"label_email", "fontPointSize", 9},
    {"label_9", "fontPointSize", 9},
    {"label_9", "hAlign", Qt::AlignRight},
    {"label_www", "fontPointSize", 9},
    {"label_www", "openExternalLinks", 1},
    {"label_www", "textFormat", Qt::RichText},
};

QWidget* AsWidget(QObject* object)
{
    return qobject_cast<QWidget*>(object);
}

// Puts every tab page on the way to the widget in front so that its
// layouts are active and geometry can be compared.
void Reveal(QWidget* widget)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
    {
        QWidget* stack = w->parentWidget();
        QTabWidget* tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
        if (tabs && tabs->indexOf(w) >= 0)
            tabs->setCurrentWidget(w);
    }
    QCoreApplication::processEvents();
}

QRect RectIn(QWidget* widget, QWidget* top)
{
    return QRect(widget->mapTo(top, QPoint(0, 0)), widget->size());
}

// The label laid out next to the field on the given side: on the same line
// for left/right, directly over it for above. Among several candidates the
// nearest one wins, so a caption belonging to a neighbour does not count.
QString Caption(QWidget* field, QWidget* top, const QString& side)
{
    const QRect f = RectIn(field, top);
    QLabel* best = nullptr;
    int bestDistance = INT_MAX;
    for (QLabel* label : top->findChildren<QLabel*>())
    {
        if (!label->isVisibleTo(top) || label->text().isEmpty())
            continue;
        const QRect l = RectIn(label, top);
        int distance = INT_MAX;
        const bool sameLine = l.top() <= f.center().y() + f.height() / 2 &&
                              l.bottom() >= f.center().y() - f.height() / 2;
        if (side == QLatin1String("left") && sameLine && l.right() <= f.left())
            distance = f.left() - l.right();
        else if (side == QLatin1String("right") && sameLine && l.left() >= f.right())
            distance = l.left() - f.right();
        else if (side == QLatin1String("above") && l.bottom() <= f.top() && l.right() > f.left() &&
                 l.left() < f.right())
            distance = f.top() - l.bottom();
        if (distance < bestDistance)
        {
            bestDistance = distance;
            best = label;
        }
    }
    return best ? best->text() : QStringLiteral("<no label %1>").arg(side);
}
} // namespace

class TestForm : public QObject
{
    Q_OBJECT

public Q_SLOTS:
    // Desktop handler for "file" URLs: the manual is not really opened.
    void OpenFileUrl(const QUrl& url) { m_openedUrls.append(url); }

private:
    QList<QUrl> m_openedUrls;

    // What a command visibly did: its message boxes and file dialogs, the
    // windows it showed (hidden again here) and the files it handed to the
    // desktop.
    template <typename F> QString Effect(F command)
    {
        m_prompts.Clear();
        m_prompts.answers.clear();
        m_prompts.fileNames.clear();
        m_openedUrls.clear();
        command();
        QCoreApplication::processEvents();
        QStringList parts;
        for (const CScriptedPrompts::Record& r : m_prompts.records)
            parts << QStringList{r.kind,  QString::number(r.icon), r.title,
                                 r.text,  r.informativeText,       r.dir,
                                 r.filter}
                         .join(QLatin1Char('|'));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w != m_window.get() && w->isVisible() && !qobject_cast<QMenu*>(w))
            {
                parts << QStringLiteral("shown ") +
                             QString::fromLatin1(w->metaObject()->className());
                w->hide();
            }
        for (const QUrl& url : m_openedUrls)
            parts << QStringLiteral("opened ") + url.toString();
        return parts.join(QLatin1Char('\n'));
    }

    QString SlotEffect(const QString& slot)
    {
        return Effect(
            [&]
            {
                QVERIFY(QMetaObject::invokeMethod(m_window.get(), slot.toLatin1().constData(),
                                                  Qt::DirectConnection));
            });
    }

    std::unique_ptr<CTestEnvironment> m_env;
    std::unique_ptr<QSettings> m_settings;
    CScriptedPrompts m_prompts;
    std::unique_ptr<CKorvalent> m_window;
    std::unique_ptr<CAboutDialog> m_about;

    // A menu text as drawn: "&Файл" shows "Файл", "&&" one ampersand.
    static QString ShownText(const QString& text)
    {
        QString out;
        for (int i = 0; i < text.size(); ++i)
        {
            if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
                ++i;
            out += text.at(i);
        }
        return out;
    }

    QObject* Find(QObject* root, const QString& name)
    {
        if (root->objectName() == name)
            return root;
        return root->findChild<QObject*>(name);
    }

    QString Text(QObject* object, const QString& property)
    {
        QWidget* widget = AsWidget(object);
        if (property == QLatin1String("tabText"))
        {
            auto* tabs = qobject_cast<QTabWidget*>(widget->parentWidget()->parentWidget());
            return tabs ? tabs->tabText(tabs->indexOf(widget)) : QStringLiteral("<no tabs>");
        }
        if (property == QLatin1String("fontFamily"))
            return widget->font().family();
        if (property == QLatin1String("statusTipOfMenu"))
            return qobject_cast<QMenu*>(object)->menuAction()->statusTip();
        if (property == QLatin1String("groupTitle"))
        {
            for (QWidget* w = widget->parentWidget(); w; w = w->parentWidget())
                if (auto* group = qobject_cast<QGroupBox*>(w))
                    return group->title();
            return QStringLiteral("<no group>");
        }
        if (property.startsWith(QLatin1String("caption")))
        {
            Reveal(widget);
            QWidget* page = widget;
            while (page->parentWidget() &&
                   !qobject_cast<QTabWidget*>(page->parentWidget()->parentWidget()))
                page = page->parentWidget();
            return Caption(widget, page, property.mid(7).toLower());
        }
        const QVariant value = object->property(property.toLatin1().constData());
        if (!value.isValid())
            return QStringLiteral("<no property %1>").arg(property);
        return value.toString();
    }

    int Number(QObject* object, const QString& property)
    {
        QWidget* widget = AsWidget(object);
        if (property == QLatin1String("hAlign") || property == QLatin1String("vAlign"))
        {
            const QVariant value = object->property("alignment");
            const int mask = property == QLatin1String("hAlign") ? Qt::AlignHorizontal_Mask
                                                                 : Qt::AlignVertical_Mask;
            int align = value.value<Qt::Alignment>().toInt() & mask;
            // Right and trailing mean the same in a left-to-right layout.
            if (align == int(Qt::AlignRight | Qt::AlignTrailing))
                align = Qt::AlignRight;
            return align;
        }
        if (property == QLatin1String("digitsHint"))
            return (widget->inputMethodHints() & Qt::ImhDigitsOnly) ? 1 : 0;
        if (property == QLatin1String("fontPointSize"))
            return widget->font().pointSize();
        if (property == QLatin1String("fontBold"))
            return widget->font().bold() ? 1 : 0;
        if (property == QLatin1String("fixedSize"))
            return widget->minimumSize() == widget->maximumSize() ? 1 : 0;
        if (property == QLatin1String("width"))
            return widget->width();
        if (property == QLatin1String("height"))
            return widget->height();
        if (property == QLatin1String("count"))
            return qobject_cast<QTabWidget*>(object)->count();
        if (property == QLatin1String("visible"))
            return qobject_cast<QAction*>(object)->isVisible() ? 1 : 0;
        const QVariant value = object->property(property.toLatin1().constData());
        if (!value.isValid())
            return INT_MIN;
        if (value.typeId() == QMetaType::Bool)
            return value.toBool() ? 1 : 0;
        return value.toInt();
    }

    // A report file with every field, statistics and two rows filled.
    CReportData WriteReport(const QString& path)
    {
        CReportData report;
        for (int f = 0; f < CReportData::FieldCount; ++f)
            report.SetText(CReportData::Field(f), QStringLiteral("поле %1").arg(f));
        report.SetText(CReportData::ConclutionNumber, QStringLiteral("41/2026"));
        for (CReportData::Field date : {CReportData::ConclutionDate, CReportData::CardDate1,
                                        CReportData::CardDate2, CReportData::CardDate3})
            report.SetText(date, QStringLiteral("02.03.2026"));
        for (int row = 0; row < CReportData::kStatisticsRows; ++row)
            report.statistics[row] = QString::number(row + 1);
        for (int r = 0; r < 2; ++r)
        {
            QStringList cells;
            for (int c = 0; c < CReportData::kResultColumns; ++c)
                cells << QStringLiteral("%1.%2").arg(r).arg(c);
            report.rows << cells;
        }
        {
            QFile file(path);
            if (file.open(QIODevice::WriteOnly))
                file.write(CReportFile::Document(report));
        }
        return CReportFile::Load(path).report;
    }

    // Every object of a page: kind, name, parent, whether hidden, place,
    // and what it shows.
    static QStringList Describe(QWidget* page)
    {
        QStringList out;
        for (QObject* o : page->findChildren<QObject*>())
        {
            QString line = QStringLiteral("%1 %2 in %3")
                               .arg(QString::fromLatin1(o->metaObject()->className()),
                                    o->objectName(), o->parent()->objectName());
            if (auto* w = qobject_cast<QWidget*>(o))
            {
                const QRect g = w->geometry();
                line += QStringLiteral(" %1 %2,%3 %4x%5 focus %6")
                            .arg(w->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown"))
                            .arg(g.x())
                            .arg(g.y())
                            .arg(g.width())
                            .arg(g.height())
                            .arg(int(w->focusPolicy()));
            }
            for (const char* property : {"text", "plainText", "date", "maxLength", "readOnly",
                                         "currentIndex", "html", "tabKeyNavigation"})
            {
                const QVariant value = o->property(property);
                if (value.isValid())
                    line += QStringLiteral(" %1=%2").arg(QLatin1String(property), value.toString());
            }
            if (auto* view = qobject_cast<QAbstractItemView*>(o); view && view->model())
            {
                const QAbstractItemModel* m = view->model();
                for (int r = 0; r < m->rowCount(); ++r)
                    for (int c = 0; c < m->columnCount(); ++c)
                        line += QLatin1Char('|') + m->index(r, c).data().toString();
            }
            out << line;
        }
        return out;
    }

    // The page's widgets in the order Tab reaches them from its first button.
    static QStringList FocusOrder(CKorvalent* w)
    {
        QStringList out;
        QWidget* start = w->findChild<QWidget*>(QStringLiteral("toolbutton_report_refresh"));
        QWidget* page = w->ui()->tab_2;
        QWidget* at = start;
        for (int i = 0; i < 400; ++i)
        {
            if (page->isAncestorOf(at) && (at->focusPolicy() & Qt::TabFocus))
                out << at->objectName();
            at = at->nextInFocusChain();
            if (at == start)
                break;
        }
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QCoreApplication::setApplicationName(QString::fromLatin1(AppIdentity::Name));
        QCoreApplication::setOrganizationName(QString::fromLatin1(AppIdentity::Organization));
        QCoreApplication::setApplicationVersion(QString::fromLatin1(AppIdentity::Version));
        m_env = std::make_unique<CTestEnvironment>();
        m_settings.reset(CAppSettings::Create());
        m_settings->clear();
        g_App.pSettings = m_settings.get();
        g_App.extras = 0;
        SetUserPrompts(&m_prompts);
        m_window = std::make_unique<CKorvalent>();
        g_App.pMainWindow = m_window.get();
        // Large enough that every caption sits on one line beside its field.
        m_window->resize(1200, 860);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        m_about = std::make_unique<CAboutDialog>();
    }

    void cleanupTestCase()
    {
        m_about.reset();
        m_window.reset();
        SetUserPrompts(nullptr);
        g_App.pSettings = nullptr;
        g_App.pMainWindow = nullptr;
    }

    // Runs first, before any row brings another page to the front.
    void opensOnFirstPages()
    {
        QCOMPARE(m_window->findChild<QTabWidget*>(QStringLiteral("mainTabWidget"))->currentIndex(),
                 0);
        QCOMPARE(
            m_window->findChild<QTabWidget*>(QStringLiteral("reportTabWidget"))->currentIndex(), 0);
    }

    void kinds_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("ancestor");
        for (const KindRow& r : s_kinds)
            QTest::newRow(r.object) << QString::fromLatin1(r.object) << QString::fromLatin1(r.kind)
                                    << QString::fromLatin1(r.ancestor ? r.ancestor : "");
    }
    void kinds()
    {
        QFETCH(QString, object);
        QFETCH(QString, kind);
        QFETCH(QString, ancestor);
        QObject* found = Find(m_window.get(), object);
        QVERIFY2(found, qPrintable(object));
        QVERIFY2(found->inherits(kind.toLatin1().constData()),
                 qPrintable(QString::fromLatin1(found->metaObject()->className())));
        // One object per name, so a lookup by name cannot hit the wrong one.
        QCOMPARE(m_window->findChildren<QObject*>(object).size() +
                     (object == m_window->objectName()),
                 1);
        if (ancestor.isEmpty())
            return;
        bool inside = false;
        for (QObject* p = found->parent(); p && !inside; p = p->parent())
            inside = p->objectName() == ancestor;
        QVERIFY2(inside, qPrintable(QStringLiteral("%1 not inside %2").arg(object, ancestor)));
    }

    void actionsExist()
    {
        const QStringList names{"action_file_download_database_from_device",
                                "action_file_upload_database_to_device",
                                "action_file_load_database_from_file",
                                "action_file_save_database_to_file",
                                "action_file_load_result_file",
                                "action_file_save_result_file",
                                "action_file_delete",
                                "action_file_exit",
                                "action_file_export_to_xls",
                                "action_file_export_to_csv",
                                "action_report_new",
                                "action_report_open",
                                "action_report_save",
                                "action_report_preview",
                                "action_report_print",
                                "action_show_pep_params_editor_dialog",
                                "action_show_materials_editor_dialog",
                                "action_show_device_selector_dialog",
                                "action_get_device_firmware_version",
                                "action_show_screenshot_maker_dialog",
                                "action_show_pep_list_dialog",
                                "action_service_time_sync",
                                "action_select_documents_dir",
                                "action_show_info",
                                "action_show_help"};
        for (const QString& name : names)
        {
            const QList<QAction*> found = m_window->findChildren<QAction*>(name);
            QVERIFY2(found.size() == 1, qPrintable(name));
            QVERIFY2(!found.first()->icon().isNull(), qPrintable(name));
        }
    }

    void texts_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("expected");
        for (const TextRow& r : s_texts)
            QTest::addRow("%s.%s", r.object, r.property)
                << QString::fromLatin1(r.object) << QString::fromLatin1(r.property)
                << QString::fromUtf8(r.expected);
    }
    void texts()
    {
        QFETCH(QString, object);
        QFETCH(QString, property);
        QFETCH(QString, expected);
        QObject* found = Find(m_window.get(), object);
        QVERIFY2(found, qPrintable(object));
        // Menus and their entries carry mnemonics: the text shown is compared.
        if (qobject_cast<QAction*>(found) || qobject_cast<QMenu*>(found))
            QCOMPARE(ShownText(Text(found, property)), ShownText(expected));
        else
            QCOMPARE(Text(found, property), expected);
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("property");
        QTest::addColumn<int>("expected");
        for (const NumberRow& r : s_numbers)
            QTest::addRow("%s.%s", r.object, r.property)
                << QString::fromLatin1(r.object) << QString::fromLatin1(r.property) << r.expected;
    }
    void numbers()
    {
        QFETCH(QString, object);
        QFETCH(QString, property);
        QFETCH(int, expected);
        QObject* found = Find(m_window.get(), object);
        QVERIFY2(found, qPrintable(object));
        QCOMPARE(Number(found, property), expected);
    }

    void dates_data()
    {
        QTest::addColumn<QString>("object");
        for (const char* name :
             {"ConclutionDate", "ManagerAccessCardDateEdit", "ExecutionPersonAccessCardDateEdit",
              "ConclutionProviderAccessCardDateEdit"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }
    void dates()
    {
        QFETCH(QString, object);
        auto* edit = m_window->findChild<QDateEdit*>(object);
        QVERIFY(edit);
        // The conclusion is dated today until changed; the cards start at 2016.
        const QDate start =
            object == QLatin1String("ConclutionDate") ? CClock::Today() : QDate(2016, 1, 1);
        QCOMPARE(edit->date(), start);
        QCOMPARE(edit->text(), start.toString(QStringLiteral("dd.MM.yyyy")));
        QCOMPARE(edit->minimumDate(), QDate(2000, 1, 1));
        // The earliest date is a real limit, not only a default.
        const QDate before = edit->date();
        edit->setDate(QDate(1999, 12, 31));
        QCOMPARE(edit->date(), QDate(2000, 1, 1));
        edit->setDate(before);
    }

    void pagesInOrder()
    {
        auto* main = m_window->findChild<QTabWidget*>(QStringLiteral("mainTabWidget"));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(main->widget(i)->objectName(), QString::fromLatin1(s_mainPages[i]));
        auto* report = m_window->findChild<QTabWidget*>(QStringLiteral("reportTabWidget"));
        for (int i = 0; i < 4; ++i)
            QCOMPARE(report->widget(i)->objectName(), QString::fromLatin1(s_reportPages[i]));
    }

    void headerFieldsTopToBottom()
    {
        QWidget* page = m_window->findChild<QWidget*>(QStringLiteral("tab_information"));
        Reveal(page);
        int previousTop = -1;
        for (const char* name : s_headerOrder)
        {
            QWidget* field = m_window->findChild<QWidget*>(QString::fromLatin1(name));
            const int top = RectIn(field, page).top();
            QVERIFY2(top > previousTop, name);
            previousTop = top;
        }
        // Number and date share the top row.
        auto* number = m_window->findChild<QWidget*>(QStringLiteral("ConclutionNumberEdit"));
        auto* date = m_window->findChild<QWidget*>(QStringLiteral("ConclutionDate"));
        const QRect n = RectIn(number, page);
        const QRect d = RectIn(date, page);
        QVERIFY(d.left() > n.right());
        QVERIFY(d.top() < n.bottom() && d.bottom() > n.top());
    }

    void signatoryLines()
    {
        // Upper line: level; lower line: card number and date; the name on the left.
        for (const auto& group :
             {std::array<const char*, 4>{"AreaManagerNameEdit", "ManagerAccessCardNumberEdit",
                                         "ManagerAccessCardDateEdit", "AreaManagerLevelEdit"},
              std::array<const char*, 4>{
                  "ExecutionPersonNameEdit", "ExecutionPersonAccessCardNumberEdit",
                  "ExecutionPersonAccessCardDateEdit", "ExecutionPersonLevelEdit"},
              std::array<const char*, 4>{
                  "ConclutionProviderNameEdit", "ConclutionProviderAccessCardNumberEdit",
                  "ConclutionProviderAccessCardDateEdit", "ConclutionProviderLevelEdit"}})
        {
            QWidget* page = m_window->findChild<QWidget*>(QStringLiteral("tab_conclusion"));
            auto rect = [&](const char* name)
            {
                QWidget* w = m_window->findChild<QWidget*>(QString::fromLatin1(name));
                Reveal(w);
                return RectIn(w, page);
            };
            const QRect name = rect(group[0]);
            const QRect card = rect(group[1]);
            const QRect date = rect(group[2]);
            const QRect level = rect(group[3]);
            QVERIFY2(level.bottom() < card.top(), group[3]);
            QVERIFY2(card.right() < date.left(), group[1]);
            QVERIFY2(name.right() < card.left() && name.right() < level.left(), group[0]);
        }
    }

    void conclusionCaptions()
    {
        QWidget* page = m_window->findChild<QWidget*>(QStringLiteral("tab_conclusion"));
        auto* edit = m_window->findChild<QWidget*>(QStringLiteral("ConclutionEdit"));
        Reveal(edit);
        auto label = [&](const QString& text) -> QLabel*
        {
            for (QLabel* l : page->findChildren<QLabel*>())
                if (l->text() == text && l->isVisibleTo(page))
                    return l;
            return nullptr;
        };
        QLabel* caption = label(QStringLiteral("Заключение:"));
        QLabel* hint =
            label(QStringLiteral("решение о годности объекта, рекомендации по ремонту или "
                                 "восстановлению объекта, изделия, детали"));
        QLabel* heading = label(QStringLiteral("Контроль проведен:"));
        QVERIFY(caption && hint && heading);
        const QRect e = RectIn(edit, page);
        const QRect c = RectIn(caption, page);
        const QRect h = RectIn(hint, page);
        // Caption and hint side by side over the text field.
        QVERIFY(c.bottom() <= e.top() && h.bottom() <= e.top());
        QVERIFY(c.right() < h.left());
        QVERIFY(c.top() < h.bottom() && h.top() < c.bottom());
        // The heading stands between the text field and the first group.
        auto* group = m_window->findChild<QWidget*>(QStringLiteral("AreaManagerNameEdit"));
        const QRect g = RectIn(group->parentWidget(), page);
        const QRect hd = RectIn(heading, page);
        QVERIFY(hd.top() >= e.bottom() && hd.bottom() <= g.top());
    }

    // Every menu entry and button reaches its own slot: triggering it does
    // exactly what calling that slot does. Only commands that show something
    // without a gauge or loaded data are walked here.
    void triggers_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QString>("slot");
        const QList<QPair<const char*, const char*>> rows{
            {"action_file_load_database_from_file", "OnResultsLoadDatabaseFromFile"},
            {"toolbutton_results_load_database_from_file", "OnResultsLoadDatabaseFromFile"},
            {"action_file_save_database_to_file", "OnResultsSaveDatabaseToFile"},
            {"toolbutton_results_save_database_to_file", "OnResultsSaveDatabaseToFile"},
            {"action_file_load_result_file", "OnResultsLoadFile"},
            {"toolbutton_results_load_file", "OnResultsLoadFile"},
            {"action_file_save_result_file", "OnResultsSaveFile"},
            {"toolbutton_results_save_file", "OnResultsSaveFile"},
            {"action_file_delete", "OnResultsDeleteFile"},
            {"toolbutton_results_delete_file", "OnResultsDeleteFile"},
            {"action_show_materials_editor_dialog", "ShowMaterialsEditorDialog"},
            {"action_show_device_selector_dialog", "ShowDeviceSelectorDialog"},
            {"action_select_documents_dir", "OnChangeDocumentsDir"},
            {"action_show_info", "ShowAboutDialog"},
            {"action_show_help", "ShowHelpDialog"},
            {"toolbutton_results_show_help", "ShowHelpDialog"},
            {"toolbutton_report_show_help", "ShowHelpDialog"},
        };
        for (const auto& r : rows)
            QTest::newRow(r.first) << QString::fromLatin1(r.first) << QString::fromLatin1(r.second);
    }
    void triggers()
    {
        QFETCH(QString, trigger);
        QFETCH(QString, slot);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenFileUrl");
        const QString expected = SlotEffect(slot);
        QVERIFY(!expected.isEmpty());
        QString actual;
        if (auto* action = m_window->findChild<QAction*>(trigger))
            actual = Effect([&] { action->trigger(); });
        else if (auto* button = m_window->findChild<QAbstractButton*>(trigger))
            actual = Effect([&] { button->click(); });
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(actual, expected);
    }

    // The slots above are told apart by what they do, so a trigger wired to
    // the wrong one cannot pass.
    void triggerEffectsDiffer()
    {
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "OpenFileUrl");
        QStringList effects;
        for (const char* slot : {"OnResultsLoadDatabaseFromFile", "OnResultsSaveDatabaseToFile",
                                 "OnResultsLoadFile", "OnResultsSaveFile", "OnResultsDeleteFile",
                                 "ShowMaterialsEditorDialog", "ShowDeviceSelectorDialog",
                                 "OnChangeDocumentsDir", "ShowAboutDialog", "ShowHelpDialog"})
        {
            const QString effect = SlotEffect(QString::fromLatin1(slot));
            QVERIFY2(!effects.contains(effect), slot);
            effects << effect;
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

    // Without "-extras" the transducer editor's entry is inert as well as hidden.
    void hiddenEditorEntryIsInert()
    {
        auto* action =
            m_window->findChild<QAction*>(QStringLiteral("action_show_pep_params_editor_dialog"));
        QVERIFY(action);
        QCOMPARE(Effect([&] { action->trigger(); }), QString());
    }

    void exitClosesAndStoresGeometry()
    {
        CKorvalent window;
        window.resize(700, 500);
        window.move(150, 120);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QAction*>(QStringLiteral("action_file_exit"))->trigger();
        QVERIFY(!window.isVisible());
        m_settings->sync();
        QCOMPARE(m_settings->value(QStringLiteral("MainWindow/size")).toSize(), window.size());
        QCOMPARE(m_settings->value(QStringLiteral("MainWindow/pos")).toPoint(), window.pos());
        m_settings->remove(QStringLiteral("MainWindow"));
    }

    // The window's slots in their declared order, with their parameter names.
    void slotsInOrder()
    {
        const QStringList expected{
            "ShowPEPListDialog()",
            "ShowPEPEditorDialog()",
            "ShowMaterialsEditorDialog()",
            "ShowDeviceSelectorDialog()",
            "ShowDeviceScreenshotDialog()",
            "ShowAboutDialog()",
            "ShowHelpDialog()",
            "ExportResultsToCSV()",
            "ExportResultsToXLS()",
            "FilesTableUpdate()",
            "ResultsTablesReset()",
            "GetDeviceFirmwareVersion()",
            "DeviceTaskCompleted(int TaskID,const void* lpUserBuf,int nDataLength)",
            "ResultFilesTableItemChanged(QItemSelection,QItemSelection)",
            "ResultFilesTableClick(QModelIndex)",
            "OnResultsDownloadDatabaseFromDevice()",
            "OnResultsUploadDatabaseToDevice()",
            "OnResultsLoadDatabaseFromFile()",
            "OnResultsSaveDatabaseToFile()",
            "OnResultsTablesRefresh()",
            "OnResultsSaveFile()",
            "OnResultsLoadFile()",
            "OnResultsDeleteFile()",
            "OnReportRefresh()",
            "OnReportCreate()",
            "OnReportSaveToFile()",
            "OnReportLoadFromFile()",
            "OnReportResultsRefresh()",
            "OnReportDocumentRefresh()",
            "OnReportDocumentPrint()",
            "OnReportDocumentPreview()",
            "OnReportClearInfoFields()",
            "OnReportClearConclutionFields()",
            "OnReportShowConclutionTab()",
            "OnReportShowPreviewTab()",
            "OnReportShowResultsTab()",
            "OnReportTabSwitch(int nIndex)",
            "OnUpdateTimeDate()",
            "OnUpdateTimeOnDevice()",
            "OnChangeDocumentsDir()"};
        const QMetaObject* meta = m_window->metaObject();
        QStringList declared;
        for (int i = meta->methodOffset(); i < meta->methodCount(); ++i)
        {
            const QMetaMethod method = meta->method(i);
            if (method.methodType() != QMetaMethod::Slot || method.access() != QMetaMethod::Public)
                continue;
            QStringList params;
            const QList<QByteArray> types = method.parameterTypes();
            const QList<QByteArray> names = method.parameterNames();
            for (int p = 0; p < types.size(); ++p)
            {
                QString param = QString::fromLatin1(types.at(p));
                // Only the parameters whose names are fixed are compared by name.
                if (method.name() == "DeviceTaskCompleted" || method.name() == "OnReportTabSwitch")
                    param += QLatin1Char(' ') + QString::fromLatin1(names.at(p));
                params << param;
            }
            declared << QString::fromLatin1(method.name()) + QLatin1Char('(') +
                            params.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        QCOMPARE(declared, expected);
    }

    void statusLabels()
    {
        QStringList texts;
        for (QLabel* label : m_window->statusBar()->findChildren<QLabel*>())
            if (label->isVisibleTo(m_window->statusBar()))
                texts << label->text();
        // With nothing saved the device label shows the pattern with both places empty.
        QCOMPARE(texts, (QStringList{QStringLiteral("Данные: не загружены                    "),
                                     QStringLiteral("Устройство: , порт ''")}));
    }

    void modelHeaders_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QStringList>("headers");
        QTest::newRow("files") << QStringLiteral("ResultFilesTable")
                               << QStringList{"Файл данных", "Исп. ячейки"};
        QTest::newRow("results") << QStringLiteral("ResultFileContentTable")
                                 << QStringList{"Результат",   "Ед. изм.",     "Материал",
                                                "Скорость",    "ПЭП/Идент",    "ПЭП/Сер. №",
                                                "Температура", "Время замера", "Дата замера"};
        QTest::newRow("statistics")
            << QStringLiteral("StatisticsTable")
            << QStringList{"Статистические показатели", "Обозначение", "Значение"};
        QTest::newRow("report results")
            << QStringLiteral("ReportResultsTable")
            << QStringList{"Файл данных",      "Ячейка",    "Результат",   "Единицы", "Материал",
                           "Скорость УЗ-волн", "Настройка", "Температура", "Время",   "Дата"};
        QTest::newRow("report statistics")
            << QStringLiteral("ReportStatsTable")
            << QStringList{"Статистические показатели", "Обозначение", "Значение"};
    }
    void modelHeaders()
    {
        QFETCH(QString, view);
        QFETCH(QStringList, headers);
        auto* table = m_window->findChild<QTableView*>(view);
        QVERIFY(table && table->model());
        QStringList shown;
        for (int c = 0; c < table->model()->columnCount(); ++c)
            shown << table->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(shown, headers);
    }

    void aboutTexts_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("property");
        QTest::addColumn<QString>("expected");
        for (const TextRow& r : s_aboutTexts)
            QTest::addRow("%s.%s", r.object, r.property)
                << QString::fromLatin1(r.object) << QString::fromLatin1(r.property)
                << QString::fromUtf8(r.expected);
    }
    void aboutTexts()
    {
        QFETCH(QString, object);
        QFETCH(QString, property);
        QFETCH(QString, expected);
        QObject* found = Find(m_about.get(), object);
        QVERIFY2(found, qPrintable(object));
        QCOMPARE(Text(found, property), expected);
    }

    void aboutNumbers_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("property");
        QTest::addColumn<int>("expected");
        for (const NumberRow& r : s_aboutNumbers)
            QTest::addRow("%s.%s", r.object, r.property)
                << QString::fromLatin1(r.object) << QString::fromLatin1(r.property) << r.expected;
    }
    void aboutNumbers()
    {
        QFETCH(QString, object);
        QFETCH(QString, property);
        QFETCH(int, expected);
        QObject* found = Find(m_about.get(), object);
        QVERIFY2(found, qPrintable(object));
        QCOMPARE(Number(found, property), expected);
    }

    void aboutLinks()
    {
        auto* email = m_about->findChild<QLabel*>(QStringLiteral("label_email"));
        QVERIFY(email->text().contains(QStringLiteral("href=\"mailto:")));
        QVERIFY(email->openExternalLinks());
        auto* www = m_about->findChild<QLabel*>(QStringLiteral("label_www"));
        QVERIFY(www->text().contains(QStringLiteral("href=\"http")));
        QVERIFY(!m_about->findChild<QLabel*>(QStringLiteral("label"))->pixmap().isNull());
        QVERIFY(!m_about->windowIcon().isNull());
        QVERIFY(!m_about->findChild<QPushButton*>(QStringLiteral("OkButton"))->icon().isNull());
        QVERIFY(m_about->findChild<QFrame*>(QStringLiteral("line")));
        // The captions sit left of their values.
        for (const auto& pair :
             {std::pair{"label_7", "label_phone"}, std::pair{"label_8", "label_email"},
              std::pair{"label_9", "label_www"}})
        {
            auto* caption = m_about->findChild<QLabel*>(QString::fromLatin1(pair.first));
            auto* value = m_about->findChild<QLabel*>(QString::fromLatin1(pair.second));
            QVERIFY(caption && value);
            QVERIFY2(caption->geometry().right() < value->geometry().left(), pair.first);
            QVERIFY2(!value->text().isEmpty(), pair.second);
        }
    }
    // The program's style draws the overflow arrows of bars whose entries do
    // not fit as Fusion does, though it reads them only when first drawn.
    void overflowArrowsAsFusions_data()
    {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("size");
        for (int size : {8, 16, 32})
        {
            QTest::addRow("horizontal %d", size)
                << int(QStyle::SP_ToolBarHorizontalExtensionButton) << size;
            QTest::addRow("vertical %d", size)
                << int(QStyle::SP_ToolBarVerticalExtensionButton) << size;
        }
    }
    void overflowArrowsAsFusions()
    {
        QFETCH(int, which);
        QFETCH(int, size);
        std::unique_ptr<QStyle> ours(CAppStyle::Create());
        std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        const auto sp = QStyle::StandardPixmap(which);
        const QIcon late = ours->standardIcon(sp);
        const QIcon now = fusion->standardIcon(sp);
        QVERIFY(!late.isNull());
        QCOMPARE(late.availableSizes(), now.availableSizes());
        QCOMPARE(late.actualSize(QSize(size, size)), now.actualSize(QSize(size, size)));
        QCOMPARE(late.pixmap(size).toImage(), now.pixmap(size).toImage());
    }

    // The report page the program builds when first needed is the page built
    // with the window: the same widgets, values, focus order and window
    // minimum, whatever builds it.
    void reportPageBuiltLater_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("tab chosen") << QStringLiteral("tab");
        QTest::newRow("tab chosen while showing") << QStringLiteral("tabShowing");
        QTest::newRow("first paint") << QStringLiteral("paint");
        QTest::newRow("report file opened") << QStringLiteral("file");
        QTest::newRow("new report") << QStringLiteral("new");
    }
    void reportPageBuiltLater()
    {
        QFETCH(QString, trigger);
        const QString file = m_env->Root() + QStringLiteral("/later.krf");
        WriteReport(file);
        auto apply = [&](CKorvalent* w)
        {
            if (trigger == QLatin1String("tabShowing"))
                w->show(); // built while the window is showing, before any event
            if (trigger.startsWith(QLatin1String("tab")))
                w->ui()->mainTabWidget->setCurrentWidget(w->ui()->tab_2);
            else if (trigger == QLatin1String("file"))
                w->OpenFiles({file});
            else if (trigger == QLatin1String("new"))
                w->findChild<QAction*>(QStringLiteral("action_report_new"))->trigger();
            w->resize(1000, 800);
            w->show();
            QVERIFY(QTest::qWaitForWindowExposed(w));
            if (trigger == QLatin1String("paint"))
                QTRY_VERIFY(w->IsReportPageBuilt());
            // Both pages on screen, laid out alike.
            w->ui()->mainTabWidget->setCurrentWidget(w->ui()->tab_2);
            QCoreApplication::processEvents();
        };
        m_prompts.Clear();
        CKorvalent now;
        apply(&now);
        CKorvalent later(nullptr, CKorvalent::ReportPageBuild::WhenNeeded);
        QVERIFY(!later.IsReportPageBuilt());
        QVERIFY(!later.ui()->ConclutionNumberEdit);
        apply(&later);
        QVERIFY(later.IsReportPageBuilt());
        QCOMPARE(Describe(later.ui()->tab_2), Describe(now.ui()->tab_2));
        QCOMPARE(FocusOrder(&later), FocusOrder(&now));
        QCOMPARE(later.findChild<QWidget*>(QStringLiteral("centralScrollArea"))->minimumSize(),
                 now.findChild<QWidget*>(QStringLiteral("centralScrollArea"))->minimumSize());
        QVERIFY(later.ui()->ConclutionNumberEdit->isVisible());
        if (trigger == QLatin1String("file"))
            QCOMPARE(later.ui()->ConclutionNumberEdit->text(), QStringLiteral("41/2026"));
    }

    // A report opened before its page was ever shown is saved back whole.
    void reportOpenedBeforePageShown()
    {
        const QString in = m_env->Root() + QStringLiteral("/in.krf");
        const QString out = m_env->Root() + QStringLiteral("/out.krf");
        const CReportData written = WriteReport(in);
        m_prompts.Clear();
        CKorvalent w(nullptr, CKorvalent::ReportPageBuild::WhenNeeded);
        w.LoadReportFile(in);
        m_prompts.fileNames.enqueue(out);
        w.findChild<QAction*>(QStringLiteral("action_report_save"))->trigger();
        const CReportFile::LoadResult saved = CReportFile::Load(out);
        QCOMPARE(saved.status, CReportFile::LoadResult::Ok);
        for (int f = 0; f < CReportData::FieldCount; ++f)
            QCOMPARE(saved.report.Text(CReportData::Field(f)), written.Text(CReportData::Field(f)));
        QCOMPARE(saved.report.rows, written.rows);
        QCOMPARE(saved.report.statistics, written.statistics);
    }

    // Closing a window whose report page was never built keeps the settings
    // the page shows and saves the window's own; it does not build the page.
    void closedBeforeReportPageBuilt()
    {
        m_settings->setValue(QStringLiteral("Device/Name"), QStringLiteral("QM-3RX"));
        m_settings->setValue(QStringLiteral("Device/SerialNumber"), QStringLiteral("00001234"));
        m_settings->remove(QStringLiteral("MainWindow"));
        {
            CKorvalent w(nullptr, CKorvalent::ReportPageBuild::WhenNeeded);
            w.resize(900, 700);
            w.close();
            QVERIFY(!w.IsReportPageBuilt());
        }
        QCOMPARE(m_settings->value(QStringLiteral("Device/Name")).toString(),
                 QStringLiteral("QM-3RX"));
        QCOMPARE(m_settings->value(QStringLiteral("Device/SerialNumber")).toString(),
                 QStringLiteral("00001234"));
        QCOMPARE(m_settings->value(QStringLiteral("MainWindow/size")).toSize(), QSize(900, 700));
        CKorvalent w(nullptr, CKorvalent::ReportPageBuild::WhenNeeded);
        QCOMPARE(w.ReportPage()->DeviceDescriptionEdit->text(), QStringLiteral("QM-3RX"));
        QCOMPARE(w.ReportPage()->DeviceSerialNumberEdit->text(), QStringLiteral("00001234"));
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
