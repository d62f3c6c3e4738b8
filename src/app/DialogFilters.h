#pragma once
// The file dialogs' filters, written once as "description|masks" pairs, and
// the web page the bottom strip opens.

#include <QStringList>

// The open dialog's filter, as pairs of description and masks separated by "|".
extern const char *const OpenDialogFilter;
extern const char *const SaveDialogFilter;
// The same filters as Qt name filters, one per pair, in order.
QStringList NameFilters(const char *filter);
// The web page the bottom strip opens.
extern const char *const MakerPage;
