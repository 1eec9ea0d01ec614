#include "ui/texts.h"

#include "ui/language.h"

namespace quro {

// The Arabic forms hold their diacritics, the Arabic question mark and comma,
// and the guillemets character for character, and no directional control
// characters: the message boxes and the status line get right-to-left
// reading from their styles instead. Each pair keeps its English and Arabic
// form on lines of their own.
// clang-format off

const TextPair SetupCaption = {
    L"Quro Host Setup",
    L"إعداد Quro Host"};
const TextPair InstallQuestionStart = {
    L"Install Quro Host ",
    L"هل تريد تثبيت Quro Host "};
const TextPair InstallQuestionEnd = {
    L" on this PC (in Program Files)?\nWindows will ask for permission once. Your devices and password are kept.",
    L" على هذا الحاسوب (في مجلد Program Files)؟\nسيطلب Windows الإذن مرة واحدة. أجهزتك وكلمة السر كما هي."};
const TextPair OpenForUpdate = {
    L"Quro Host is open. It will be closed so it can be updated. Continue?",
    L"برنامج Quro Host مفتوح وسيُغلق لتحديثه. هل تريد المتابعة؟"};
const TextPair OpenForRemoval = {
    L"Quro Host is open. It will be closed so it can be removed. Continue?",
    L"برنامج Quro Host مفتوح وسيُغلق لإزالته. هل تريد المتابعة؟"};
const TextPair NothingChanged = {
    L"Nothing was changed.",
    L"لم يتغير شيء."};
const TextPair InstallingStart = {
    L"Installing Quro Host ",
    L"جارٍ تثبيت Quro Host "};
const TextPair NotInstalledStart = {
    L"Quro Host was not installed: ",
    L"لم يُثبَّت Quro Host: "};
const TextPair NothingChangedLine = {
    L"\nNothing was changed.",
    L"\nلم يتغير شيء."};
const TextPair InstalledStart = {
    L"Quro Host ",
    L"تم تثبيت Quro Host "};
const TextPair InstalledEnd = {
    L" is installed.\n\nOpen Quro Host now?",
    L".\n\nهل تريد فتح Quro Host الآن؟"};
const TextPair InstalledKeptEnd = {
    L" is installed. Your devices and password are kept.\nYou can delete the old unzipped Quro folder.\n\nOpen Quro Host now?",
    L". أجهزتك وكلمة السر كما هي.\nيمكنك حذف مجلد Quro القديم الذي فككت ضغطه.\n\nهل تريد فتح Quro Host الآن؟"};
const TextPair NoTemporaryCopy = {
    L"Quro Host could not be removed (no temporary copy).",
    L"تعذّرت إزالة Quro Host (لا توجد نسخة مؤقتة)."};
const TextPair RemoveQuestion = {
    L"Remove Quro Host from this PC?",
    L"هل تريد إزالة Quro Host من هذا الحاسوب؟"};
const TextPair RemoveDataQuestion = {
    L"Also remove your paired devices, password and Quro's settings?\n(Choose No to keep them for a later install.)",
    L"هل تريد أيضاً حذف الأجهزة المضافة وكلمة السر وإعدادات Quro؟\n(اختر «لا» للاحتفاظ بها لتثبيت لاحق.)"};
const TextPair RemovedWithRestart = {
    L"Quro Host is removed. A few files were still in use; Windows removes them at the next restart.",
    L"تمت إزالة Quro Host. بعض الملفات كانت قيد الاستخدام، وسيزيلها Windows عند إعادة التشغيل التالية."};
const TextPair Removed = {
    L"Quro Host is removed.",
    L"تمت إزالة Quro Host."};
const TextPair WaitingForFiles = {
    L"Waiting for another program to let go of Quro Host's files...",
    L"بانتظار أن يُغلق برنامج آخر ملفات Quro Host..."};
// clang-format on

std::wstring Localize(const TextPair& pair)
{
    return CurrentUiLanguage() == UiLanguage::Arabic ? pair.arabic : pair.english;
}

}  // namespace quro
