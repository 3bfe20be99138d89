// The build steps of the livery database that run after its indexes exist: the similar-model
// lists and the per-category reports. Start-up thread.
#pragma once

namespace qel {

// g_similarModels and g_airlineSimilarModels from the similar-type groups and the installed
// liveries; logs their count.
void lf_buildSimilarModels();
// The log lines of one size category (0 to 5), its model list for the random fall-back, and
// the category's matching option switched off when nothing of it is installed.
void lf_reportCategory(int category);
// The category options as lf_reportCategory leaves them, for a start that keeps the database
// of an earlier one: the window's controls are enabled again at every start.
void lf_applyCategoryOptions();
// The models that have a generic ("ZZZ") livery.
void lf_reportGenericLiveries();

}  // namespace qel
