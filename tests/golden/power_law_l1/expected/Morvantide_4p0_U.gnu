# Morvantide 4.0: estimativas de erro contra log10(h); gnuplot 5 (ponto e borda como em Morvantide_4p0_pU.gnu)
set encoding cp1252; set terminal pngcairo noenhanced size 1000,640 font 'Sans,11'; set output 'Morvantide_4p0_U.png'
set xlabel 'log10(h)'; set ylabel 'log10(|U|)'; set grid; set key outside right top box Left reverse
n = 0; xa = 1e300; xb = -1e300; ya = 1e300; yb = -1e300; ponto(k, x, y) = k > 1 ? NaN : (abs(x) < 1e300 && abs(y) < 1e300 ? (n = n + 1, xa = x < xa ? x : xa, xb = x > xb ? x : xb, ya = y < ya ? y : ya, yb = y > yb ? y : yb) : 0, y)
borda_x(i) = i > 1 ? NaN : n == 0 ? i - 1 : i == 0 ? xa - (xa == xb ? 0.05 : 0) : xb + (xa == xb ? 0.05 : 0); borda_y(i) = n == 0 ? i : i == 0 ? ya - (ya == yb ? 0.5 : 0) : yb + (ya == yb ? 0.5 : 0)
plot for [k=1:*] 'U_12.dat' using 1:(ponto(k, $1, $2)) title 'UGCI(Th)' with linespoints lw 2 pt 7 lc rgb '#1f77b4', \
     for [k=1:*] 'U_13.dat' using 1:(ponto(k, $1, $2)) title 'Umc(Th)' with linespoints lw 2 pt 5 lc rgb '#ff7f0e', \
     for [k=1:*] 'U_14.dat' using 1:(ponto(k, $1, $2)) title 'Uc(Tc)' with linespoints lw 2 pt 9 lc rgb '#2ca02c', \
     for [k=1:*] 'U_15.dat' using 1:(ponto(k, $1, $2)) title 'Um(Tm1)' with linespoints lw 2 pt 11 lc rgb '#d62728', '+' using (borda_x($0)):(borda_y($0)) notitle with dots lc rgb '#FFFFFFFF'
set output 'Morvantide_4p0_U.png'
set title 'Lei exata: T = 2 + h/2 + h**2/4 (6/12/2026)'
replot
