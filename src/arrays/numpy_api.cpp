// The table of NumPy's C API that numpy_api.hpp declares, and its loading.
#define QTK_NUMPY_API_DEFINITION
#include "arrays/numpy_api.hpp"

namespace quorbel::arrays {

int import_numpy_api(PyObject*) {
    // import_array1 returns from this function with the error set on failure.
    import_array1(-1);
    return 0;
}

}  // namespace quorbel::arrays
