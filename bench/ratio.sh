# Shared by the suites' run scripts: prints one figure line.
# figure NAME VALUE UNIT REF WHAT
figure() {
  local name=$1 value=$2 unit=$3 ref=$4 what=$5
  local ratio
  ratio=$(awk -v v="$value" -v r="$ref" 'BEGIN { if (r == 0) print "n/a"; else printf "%.2f", v / r }')
  echo "$name: $value $unit; reference: $ref $unit ($what); ratio: $ratio"
}
