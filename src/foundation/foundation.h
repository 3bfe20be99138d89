// The foundation's contract: settings and parameters.xml, Log.txt, text files and charsets,
// XML saving, codes and code tables, geodesy, time, versions, downloads and data files.
#pragma once

#include "foundation/aircraft_filter.h"
#include "foundation/catalogue.h"
#include "foundation/codes.h"
#include "foundation/decrypt.h"
#include "foundation/download.h"
#include "foundation/files.h"
#include "foundation/geodesy.h"
#include "foundation/globals.h"
#include "foundation/halfhours.h"
#include "foundation/log.h"
#include "foundation/match_key.h"
#include "foundation/parameters.h"
#include "foundation/random.h"
#include "foundation/settings.h"
#include "foundation/shell.h"
#include "foundation/strings.h"
#include "foundation/textfile.h"
#include "foundation/time.h"
#include "foundation/version.h"
#include "foundation/xml.h"
