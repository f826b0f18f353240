# Morvantide 4.0: ordens verdadeiras (p0, p1, p2) e aparentes (pU*) contra log10(h); gnuplot 5
# ponto() conta os pontos válidos e seus limites; os dois pontos invisíveis de borda_x/borda_y dão escala mesmo sem dados
set encoding cp1252; set terminal pngcairo noenhanced size 1000,640 font 'Sans,11'; set output 'Morvantide_4p0_pU.png'
set xlabel 'log10(h)'; set ylabel 'ordem'; set grid; set key outside right top box Left reverse
n = 0; xa = 1e300; xb = -1e300; ya = 1e300; yb = -1e300; ponto(k, x, y) = k > 1 ? NaN : (abs(x) < 1e300 && abs(y) < 1e300 ? (n = n + 1, xa = x < xa ? x : xa, xb = x > xb ? x : xb, ya = y < ya ? y : ya, yb = y > yb ? y : yb) : 0, y)
borda_x(i) = i > 1 ? NaN : n == 0 ? i - 1 : i == 0 ? xa - (xa == xb ? 0.05 : 0) : xb + (xa == xb ? 0.05 : 0); borda_y(i) = n == 0 ? i : i == 0 ? ya - (ya == yb ? 0.5 : 0) : yb + (ya == yb ? 0.5 : 0)
plot for [k=1:*] 'p0.dat' using 1:(ponto(k, $1, $2)) title 'p0' with lines lw 2 dt 1 lc rgb '#202020', \
     for [k=1:*] 'p1.dat' using 1:(ponto(k, $1, $2)) title 'p1' with lines lw 2 dt 2 lc rgb '#505050', \
     for [k=1:*] 'p2.dat' using 1:(ponto(k, $1, $2)) title 'p2' with lines lw 2 dt 4 lc rgb '#808080', \
     for [k=1:*] 'pU_h.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Th)' with linespoints lw 2 pt 7 lc rgb '#1f77b4', \
     for [k=1:*] 'pU_i.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Ti)' with linespoints lw 2 pt 5 lc rgb '#ff7f0e', \
     for [k=1:*] 'pU_bi.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Tbi)' with linespoints lw 2 pt 9 lc rgb '#2ca02c', \
     for [k=1:*] 'pU_c.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Tc)' with linespoints lw 2 pt 11 lc rgb '#d62728', \
     for [k=1:*] 'pU_mer.dat' using 1:(ponto(k, $1, $2)) title 'pU*(Tm1)' with linespoints lw 2 pt 13 lc rgb '#9467bd', '+' using (borda_x($0)):(borda_y($0)) notitle with dots lc rgb '#FFFFFFFF'
set output 'Morvantide_4p0_pU.png'
set title 'Canal laminar: velocidade no centro (6/12/2026)'
replot
