// The C library's double exp and pow for the least-squares scan, whose
// choices depend on their exact results: the library's own functions, bit
// for bit.  On Linux the math library is loaded the first time one of them
// is called, so a run that fits nothing by least squares never loads it.
#ifndef MORVANTIDE_COMMON_C_MATH_H_
#define MORVANTIDE_COMMON_C_MATH_H_

namespace morvantide::c_math {

double exp(double x);
double pow(double x, double y);

}  // namespace morvantide::c_math

#endif  // MORVANTIDE_COMMON_C_MATH_H_
