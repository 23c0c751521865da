#!/usr/bin/python3
"""The inventory report ("Inventário por Preço de Custo") drawn with reportlab, as a peer to measure
the program's PDF export against.

It reads the same demo database with the same statement, formats the numbers the same way (Brazilian
separators, "#,###,##0.00" and "#,###,##0.000"), adds up the same totals per ICMS rate and lays out
the same bands at the same places on A4: header with the company and the page number, column header,
one detail row of 11 pixels per product, a column footer with the running subtotal on every page and
the summary of totals on the last. Pages are broken by this script itself (the canvas API): the
toolkit's table flowables re-measure the whole table on every split and take minutes at this size.
Standard Type 1 fonts and uncompressed pages, as the program writes them.

    inventory_reportlab.py DATABASE OUTPUT.pdf [DATE]
"""
import sqlite3
import sys

from reportlab.pdfgen import canvas

STATEMENT = (
    "select PRO.CODIGO, PRO.NOME, PRO.UNIDADE,PRO.SALDO_ATU, PRO.PRECO_CUST, "
    "(PRO.SALDO_ATU *PRO.PRECO_CUST) AS SALDO, TRI.TRIBUTO,TRI.PERC_ICM "
    "from acadprod PRO, aprdtrib TRI "
    "where SALDO_ATU >0 AND PRECO_CUST >0  and TRI.COD_PROD=PRO.CODIGO order by NOME"
)

# Report pixels (96 per inch) to points.
PX = 0.75
PAGE_W, PAGE_H = 794, 1123
MARGIN = 19
BAND_LEFT = 19
HEADER_H, COLUMN_HEADER_H, DETAIL_H, COLUMN_FOOTER_H, SUMMARY_H = 37, 25, 11, 26, 165
FONT_SIZE = 7  # 9 pixels


def grouped(value, decimals):
    text = f"{value:,.{decimals}f}"
    return text.replace(",", "\x00").replace(".", ",").replace("\x00", ".")


def money(value):
    return grouped(value, 2)


def quantity(value):
    return grouped(value, 3)


class Report:
    def __init__(self, output, company, date):
        self.c = canvas.Canvas(output, pagesize=(PAGE_W * PX, PAGE_H * PX), pageCompression=0)
        self.company = company
        self.date = date
        self.page = 0
        self.row = 0
        self.running = 0.0
        self.rates = {7: 0.0, 12: 0.0, 17: 0.0, 25: 0.0}
        self.exempt = 0.0
        self.substitution = 0.0

    # The font is set only when it changes: every setFont writes its operator again.
    def font(self, name, size=FONT_SIZE):
        if self.current_font != (name, size):
            self.c.setFont(name, size)
            self.current_font = (name, size)

    # Drawing in report pixels, top-down, as the program's page records are.
    def text(self, x, top, s, font="Helvetica"):
        self.font(font)
        self.c.drawString((BAND_LEFT + x) * PX, (PAGE_H - top - 10) * PX, s)

    def right(self, x_right, top, s, font="Helvetica"):
        self.font(font)
        self.c.drawRightString((BAND_LEFT + x_right) * PX, (PAGE_H - top - 10) * PX, s)

    def frame(self, x, top, w, h):
        self.c.rect((BAND_LEFT + x) * PX, (PAGE_H - top - h) * PX, w * PX, h * PX)

    def start_page(self):
        self.page += 1
        self.current_font = None  # a new page starts with no font set
        top = MARGIN
        self.frame(72, top + 4, 674, 33)
        self.font("Helvetica-BoldOblique", 10)
        self.c.drawCentredString((BAND_LEFT + 76 + 333) * PX, (PAGE_H - top - 18) * PX, self.company)
        self.font("Helvetica-Bold", 8)
        self.c.drawCentredString((BAND_LEFT + 408) * PX, (PAGE_H - top - 32) * PX, "Inventário por Preço de Custo")
        self.text(627, top + 5, "Página:", "Helvetica-Bold")
        self.text(672, top + 5, str(self.page), "Helvetica-Bold")
        self.text(638, top + 20, "Data:", "Helvetica-Bold")
        self.text(672, top + 20, self.date, "Helvetica-Bold")
        top += HEADER_H
        self.frame(72, top + 4, 674, 20)
        for x, caption in ((78, "Produto"), (210, "Descrição"), (475, "Unid."), (534, "Estoque"),
                           (600, "Custo"), (700, "Total")):
            self.text(x, top + 8, caption, "Helvetica-Bold")
        self.row = top + COLUMN_HEADER_H

    def column_footer(self):
        self.text(511, self.row + 4, "SUB - TOTAL", "Helvetica-Bold")
        self.right(732, self.row + 4, money(self.running), "Helvetica-Bold")

    def end_page(self):
        self.column_footer()
        self.c.showPage()

    def detail(self, code, name, unit, balance, cost, value, tax_class, rate):
        if self.row + DETAIL_H + COLUMN_FOOTER_H > PAGE_H - MARGIN:
            self.end_page()
            self.start_page()
        top = self.row - 1
        self.text(73, top, code)
        self.text(209, top, name)
        self.text(475, top + 1, unit)
        self.right(577, top, quantity(balance))
        self.right(656, top, money(cost))
        self.right(732, top, money(value))
        if tax_class == "Tributado":
            rate = rate or 0
            if rate in (7, 12, 17, 25):
                self.rates[rate] += value
            if rate == 0:
                self.rates[17] += value
        elif tax_class == "Subst. Tributária":
            self.substitution += value
        else:
            self.exempt += value
        self.running += value
        self.row += DETAIL_H

    def summary(self):
        if self.row + SUMMARY_H > PAGE_H - MARGIN:
            self.end_page()
            self.start_page()
        top = self.row
        taxed = sum(self.rates.values())
        lines = [(12, "TRIBUTAÇÃO 7%", self.rates[7]), (28, "TRIBUTAÇÃO 12%", self.rates[12]),
                 (44, "TRIBUTAÇÃO 17%", self.rates[17]), (60, "TRIBUTAÇÃO 25%", self.rates[25]),
                 (76, "TOTAL TRIBUTADOS", taxed), (100, "ISENTOS", self.exempt),
                 (116, "SUBST. TRIBUTÁRIA", self.substitution), (138, "TOTAL - GERAL", self.running)]
        for y, caption, value in lines:
            self.right(579, top + y, caption, "Helvetica-Bold")
            self.right(732, top + y, money(value), "Helvetica-Bold")
        self.c.showPage()

    def save(self):
        self.c.save()


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    database, output = sys.argv[1], sys.argv[2]
    date = sys.argv[3] if len(sys.argv) > 3 else "31/12/2024"
    connection = sqlite3.connect(database)
    company = connection.execute("select RAZAO_SOCIAL from Parametr").fetchone()[0]
    report = Report(output, company, date)
    report.start_page()
    for row in connection.execute(STATEMENT):
        report.detail(*row)
    report.summary()
    report.save()



if __name__ == "__main__":
    main()
