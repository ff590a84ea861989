# load_summary.awk: the load_file rows of tools/bench.sh from its samples, one
# line "LOAD_NS DD_NS" per pair taken in turns: the median of each and the
# median of the per-pair ratios, under a heading of their own. bench/table.sh
# reads the first two figures, in its Windows section.
function median(values, count,    i, j, t) {
  for (i = 2; i <= count; i++)
    for (j = i; j > 1 && values[j - 1] > values[j]; j--) {
      t = values[j]; values[j] = values[j - 1]; values[j - 1] = t
    }
  return count % 2 ? values[(count + 1) / 2] : (values[count / 2] + values[count / 2 + 1]) / 2
}
NF == 2 && $2 > 0 { n++; load[n] = $1; dd[n] = $2; ratio[n] = $1 / $2 }
END {
  if (n == 0) { print "load_summary: no samples" > "/dev/stderr"; exit 1 }
  print "== Windows build under Wine: load_file against dd, in turns"
  printf "%-48s %12.2f ms\n", "load_file, 1 GiB (median)", median(load, n) / 1e6
  printf "%-48s %12.2f ms\n", "dd bs=1G count=1, same file (median)", median(dd, n) / 1e6
  printf "%-48s %12.2f x\n", "load_file / dd (median of the run ratios)", median(ratio, n)
}
