#include "catalog/dir_info.h"

CatalogState g_catalog;

void ResetCatalogState() { g_catalog = CatalogState(); }
